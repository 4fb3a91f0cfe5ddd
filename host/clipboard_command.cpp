#include "host/clipboard_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/host_options.h"
#include "platform/clipboard/clipboard.h"
#include "platform/gdi/gdi.h"

namespace ss::host {
namespace {

// The clipboard, open for the life of the object.
class OpenedClipboard {
 public:
  OpenedClipboard() : open_(OpenClipboard(0) != 0) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool open() const { return open_; }

  // The bytes of a format; false when it is not there.
  bool Read(UINT format, std::string* out) {
    HGLOBAL h = GetClipboardData(format);
    if (!h) return false;
    const std::size_t size = GlobalSize(h);
    const void* p = GlobalLock(h);
    out->assign(p ? static_cast<const char*>(p) : "", p ? size : 0);
    GlobalUnlock(h);
    return true;
  }

 private:
  bool open_;
};

const char* FormatName(UINT format) {
  switch (format) {
    case CF_TEXT: return "CF_TEXT";
    case CF_BITMAP: return "CF_BITMAP";
    case CF_DIB: return "CF_DIB";
    case CF_UNICODETEXT: return "CF_UNICODETEXT";
    default: return nullptr;
  }
}

bool WriteFileBytes(const std::string& path, const std::string& a, const std::string& b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(a.data(), 1, a.size(), f) == a.size() && std::fwrite(b.data(), 1, b.size(), f) == b.size();
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

// The 14-byte BMP file header that turns a packed DIB into a BMP file, or ""
// when the DIB is not one.
std::string BmpFileHeader(const std::string& dib) {
  BITMAPINFOHEADER h{};
  if (dib.size() < sizeof h) return {};
  std::memcpy(&h, dib.data(), sizeof h);
  if (h.biSize < sizeof h || h.biSize > dib.size()) return {};
  std::uint64_t palette = h.biClrUsed;
  if (palette == 0 && h.biBitCount <= 8) palette = 1ull << h.biBitCount;
  std::uint64_t offset = 14 + static_cast<std::uint64_t>(h.biSize) + 4 * palette;
  if (h.biCompression == 3 /* bit fields */ && h.biSize == sizeof h) offset += 12;
  const std::uint64_t fileSize = 14 + dib.size();
  if (offset > fileSize) return {};
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfSize = fileSize > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(fileSize);
  fh.bfOffBits = static_cast<DWORD>(offset);
  return std::string(reinterpret_cast<const char*>(&fh), sizeof fh);
}

int Save(const std::string& path) {
  OpenedClipboard clip;
  if (!clip.open()) {
    PrintError("scrollsnap: the clipboard is in use by another program");
    return kExitError;
  }
  std::string data;
  if (clip.Read(CF_DIB, &data)) {
    const std::string header = BmpFileHeader(data);
    if (header.empty()) {
      PrintError("scrollsnap: the picture on the clipboard is damaged");
      return kExitError;
    }
    if (!WriteFileBytes(path, header, data)) {
      PrintError("scrollsnap: cannot write " + path + ": " + std::strerror(errno));
      return kExitError;
    }
    return kExitDone;
  }
  if (clip.Read(CF_TEXT, &data)) {
    const std::size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    if (!WriteFileBytes(path, data, std::string())) {
      PrintError("scrollsnap: cannot write " + path + ": " + std::strerror(errno));
      return kExitError;
    }
    return kExitDone;
  }
  PrintError("scrollsnap: the clipboard holds no picture and no text");
  return kExitError;
}

int List() {
  OpenedClipboard clip;
  if (!clip.open()) {
    PrintError("scrollsnap: the clipboard is in use by another program");
    return kExitError;
  }
  for (UINT format : StoredClipboardFormats()) {
    std::string data;
    if (!clip.Read(format, &data)) continue;
    const char* name = FormatName(format);
    std::string line = name ? name : "format " + std::to_string(format);
    line += "\t" + std::to_string(data.size()) + " bytes";
    if (format == CF_DIB && data.size() >= sizeof(BITMAPINFOHEADER)) {
      BITMAPINFOHEADER h{};
      std::memcpy(&h, data.data(), sizeof h);
      line += "\t" + std::to_string(h.biWidth) + " x " + std::to_string(h.biHeight < 0 ? -h.biHeight : h.biHeight) +
              ", " + std::to_string(h.biBitCount) + " bits";
    }
    PrintLine(line);
  }
  return kExitDone;
}

int Clear() {
  OpenedClipboard clip;
  if (!clip.open() || !EmptyClipboard()) {
    PrintError("scrollsnap: the clipboard is in use by another program");
    return kExitError;
  }
  return kExitDone;
}

}  // namespace

int RunClipboardCommand(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "save") return Save(args[1]);
  if (args.size() == 1 && args[0] == "list") return List();
  if (args.size() == 1 && args[0] == "clear") return Clear();
  PrintError("usage: scrollsnap clipboard save FILE | list | clear");
  return kExitUsage;
}

}  // namespace ss::host
