#include "output/file_naming.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "output/text_helpers.h"
#include "platform/folders/folders.h"
#include "resources/strings.h"

namespace ss {
namespace {

// True when something of this exact name exists (a dangling link included).
bool NameExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The text after the last separator of a path (the whole path when it has
// none after its first character).
std::string FileNameOf(std::string_view path) {
  int p = FindLastChar(path, kLocalSeparator);
  return std::string(p < 0 ? path : path.substr(static_cast<std::size_t>(p) + 1));
}

}  // namespace

FileNameRuleKind ClassifyFileNameRule(std::string_view rule) {
  if (rule == "UniqueTimeID") return FileNameRuleKind::UniqueTime;
  if (rule == "Numbered2") return FileNameRuleKind::Numbered2;
  if (rule == "Numbered3") return FileNameRuleKind::Numbered3;
  if (rule == "HTMLFileWithoutExt") return FileNameRuleKind::FileWithoutExt;
  if (rule == "HTMLFileWithExt") return FileNameRuleKind::FileWithExt;
  if (rule == "Fixed") return FileNameRuleKind::Fixed;
  return FileNameRuleKind::Title;
}

HRESULT EnsureFolder(std::string_view path, char separator) {
  std::string name(path);
  if (NameExists(name)) return S_OK;
  int p = FindLastChar(name, separator);
  if (p < 0) {
    // A separator only at the start is the root, which always exists.
    if (name.size() > 1 && name[0] == separator) {
      p = 0;
    } else {
      MessageBoxA(0, name.c_str(), "Keep directory error", MB_OK);
      return kErrKeepFolder;
    }
  }
  if (p > 0) {
    HRESULT hr = EnsureFolder(std::string_view(name).substr(0, static_cast<std::size_t>(p)), separator);
    if (hr != S_OK) return hr;
  }
  // The folder may appear meanwhile (another window saving at the same time):
  // what counts is that it is there afterwards.
  if (::mkdir(name.c_str(), 0777) != 0 && !NameExists(name)) return kErrKeepFolder;
  return S_OK;
}

std::string JoinFilePath(std::string_view folder, std::string_view body, std::string_view extension) {
  while (!folder.empty() && folder.back() == kLocalSeparator) folder.remove_suffix(1);
  std::string path(folder);
  path += kLocalSeparator;
  path += body;
  if (!extension.empty()) {
    path += '.';
    path += extension;
  }
  return path;
}

HRESULT FindFreeNumber(std::string_view folder, int digits, std::string_view extension, std::string* body) {
  if (digits < 1) digits = 1;
  if (digits > 4) digits = 4;
  int limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  char buf[16];
  for (int n = 0; n < limit; ++n) {
    std::snprintf(buf, sizeof buf, "%0*d", digits, n);
    if (!NameExists(JoinFilePath(folder, buf, extension))) {
      if (body) *body = buf;
      return S_OK;
    }
  }
  return kErrNumbersExhausted;
}

std::string UniqueTimeId() {
  struct timeval tv;
  ::gettimeofday(&tv, nullptr);
  std::tm local{};
  time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &local);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

std::string HtmlFileBody(std::string_view pathName, bool withExtension) {
  std::string_view name;
  if (int p = FindLastChar(pathName, '\\'); p >= 0) {
    name = pathName.substr(static_cast<std::size_t>(p) + 1);
  } else if (int q = FindLastChar(pathName, '/'); q >= 0) {
    name = pathName.substr(static_cast<std::size_t>(q) + 1);
  } else if (!pathName.empty() && (pathName[0] == '/' || pathName[0] == '\\')) {
    name = pathName.substr(1);
  } else {
    name = pathName;  // a bare name without any folder
  }
  std::string body = name.empty() ? std::string("index.html") : std::string(name);
  if (!withExtension) {
    if (int dot = FindLastChar(body, '.'); dot >= 0) body.resize(static_cast<std::size_t>(dot));
  }
  return ReplaceProhibitedChars(body, kDefaultProhibitedChars, kReplacementChar);
}

HRESULT ShowSaveAsDialog(const SaveFormat& format, HWND browserWindow, OutputTexts& out) {
  FileDialogRequest request;
  request.owner = browserWindow;
  request.save = true;
  request.filter = format.filter;
  request.defaultExt = format.extension;
  request.fileName = out.outputPath;
  request.overwritePrompt = false;  // the overwrite question is asked by AskOverwrite
  if (!GetSaveFileNameA(request)) return kResultCancelled;
  if (request.fileName.size() >= kMaxOutputPath) return kErrFilePathTooLong;
  out.outputPath = request.fileName;
  return S_OK;
}

HRESULT AskOverwrite(bool confirmOverwrite, HWND browserWindow, const OutputTexts& out) {
  if (IsFolder(out.outputPath)) return kErrPathIsFolder;
  if (!NameExists(out.outputPath) || !confirmOverwrite) return S_OK;
  std::string text = FormatModuleString(kStrOverwriteQuestion, FileNameOf(out.outputPath).c_str());
  std::string caption = LoadModuleString(kStrSaveAsCaption);
  int answer = MessageBoxA(browserWindow, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION);
  return answer == IDYES ? S_OK : kResultCancelled;
}

HRESULT BuildSavePath(const Settings& settings, const PageFacts& page, const SaveFormat* format,
                      HWND browserWindow, OutputTexts& out) {
  const ImageFilePathValues& options = settings.ImageFilePath;

  // The base folder, or the documents folder when it is empty or cannot be made.
  out.outputFolder = options.BaseFolderPath;
  if (out.outputFolder.empty() || EnsureFolder(out.outputFolder, kLocalSeparator) != S_OK) {
    std::string documents = GetPersonalFolder();
    if (documents.empty() || documents.size() >= kMaxOutputPath) return kErrDocumentsFolder;
    if (HRESULT hr = EnsureFolder(documents, kLocalSeparator); hr != S_OK) return hr;
    out.outputFolder = documents;
  }

  if (options.MakeURLFolders == 1) {
    if (Failed(page.locationUrlResult)) return page.locationUrlResult;
    out.outputFolder += UrlToFolderPath(DecodeUrlText(page.locationUrl), kDefaultProhibitedChars,
                                        kReplacementChar, kLocalSeparator);
    // A folder that cannot be made shows up as a failure to write the file.
    EnsureFolder(out.outputFolder, kLocalSeparator);
  }

  if (!format) return kErrImageFormatInvalid;
  out.outputExt = format->extension;

  if (Failed(page.documentResult)) return page.documentResult;

  std::string body;
  const FileNameRuleKind rule = ClassifyFileNameRule(options.FileNameRule);
  switch (rule) {
    case FileNameRuleKind::UniqueTime:
      body = UniqueTimeId();
      break;
    case FileNameRuleKind::Numbered2:
    case FileNameRuleKind::Numbered3: {
      int digits = rule == FileNameRuleKind::Numbered2 ? 2 : 3;
      if (HRESULT hr = FindFreeNumber(out.outputFolder, digits, out.outputExt, &body); hr != S_OK) return hr;
      break;
    }
    case FileNameRuleKind::FileWithoutExt:
    case FileNameRuleKind::FileWithExt:
      if (Failed(page.pathnameResult)) return page.pathnameResult;
      body = HtmlFileBody(DecodeUrlText(page.pathname), rule == FileNameRuleKind::FileWithExt);
      break;
    case FileNameRuleKind::Fixed:
      body = options.FixedFileName.empty() ? LoadModuleString(kStrDefaultFixedFileName) : options.FixedFileName;
      body = ReplaceProhibitedChars(body, kDefaultProhibitedChars, kReplacementChar);
      break;
    case FileNameRuleKind::Title:
      if (Failed(page.titleResult)) return page.titleResult;
      body = ReplaceProhibitedChars(page.title, kDefaultProhibitedChars, kReplacementChar);
      break;
  }
  // A body of dots only would name the folder itself or its parent.
  out.outputBody = SafeNameComponent(body, kReplacementChar);

  std::string path = JoinFilePath(out.outputFolder, out.outputBody, out.outputExt);
  if (path.size() >= kMaxOutputPath) return kErrFilePathTooLong;
  out.outputPath = path;

  bool again = false;
  for (;;) {
    if (options.OpenSaveDialog == 1 || again) {
      if (HRESULT hr = ShowSaveAsDialog(*format, browserWindow, out); hr != S_OK) return hr;
    }
    HRESULT hr = AskOverwrite(options.ConfirmOverwrite != 0, browserWindow, out);
    if (hr != kResultCancelled) return hr;
    again = true;
  }
}

}  // namespace ss
