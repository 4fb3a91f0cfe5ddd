#include "output/extra_process.h"

#include <vector>

#include "output/file_naming.h"
#include "output/text_helpers.h"
#include "platform/codepage/codepage.h"
#include "platform/process/process.h"
#include "resources/strings.h"

namespace ss {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  return true;
}

std::string QuoteIfBlank(const std::string& value) {
  return value.find(' ') == std::string::npos ? value : "\"" + value + "\"";
}

// A piece of the parameter text: literal text that may still hold tags, or a
// value already put in.
struct Piece {
  std::string text;
  bool inserted;
};

// Replaces every occurrence of `tag` in the literal pieces by `value`,
// character by character so that the second byte of a two-byte character is
// never the start of a match. Returns the number of replacements.
int ReplaceTag(std::vector<Piece>& pieces, std::string_view tag, const std::string& value) {
  int count = 0;
  std::vector<Piece> out;
  for (Piece& piece : pieces) {
    if (piece.inserted || tag.empty()) {
      out.push_back(std::move(piece));
      continue;
    }
    const std::string& t = piece.text;
    const char* begin = t.data();
    const char* end = begin + t.size();
    const char* literalStart = begin;
    const char* p = begin;
    while (p < end) {
      if (StartsWithNoCase(std::string_view(p, static_cast<std::size_t>(end - p)), tag)) {
        out.push_back(Piece{std::string(literalStart, p), false});
        out.push_back(Piece{value, true});
        ++count;
        p += tag.size();
        literalStart = p;
      } else {
        p += CharLength(p, end);
      }
    }
    out.push_back(Piece{std::string(literalStart, end), false});
  }
  pieces = std::move(out);
  return count;
}

}  // namespace

ExtraProgramValues SplitDeliveredPath(std::string_view path) {
  ExtraProgramValues v;
  v.path = std::string(path);
  int slash = FindLastChar(path, kLocalSeparator);
  // A file straight in the root folder: its folder text is empty.
  if (slash < 0 && path.size() > 1 && path[0] == kLocalSeparator) slash = 0;
  if (slash < 0) return v;
  v.dir = std::string(path.substr(0, static_cast<std::size_t>(slash)));
  v.file = std::string(path.substr(static_cast<std::size_t>(slash) + 1));
  int dot = FindLastChar(v.file, '.');
  if (dot >= 0) {
    v.body = v.file.substr(0, static_cast<std::size_t>(dot));
    v.ext = v.file.substr(static_cast<std::size_t>(dot) + 1);
  }
  return v;
}

std::string BuildExtraCommandLine(const ExtraProcessValues& options, std::string_view destination,
                                  std::string_view outputPath) {
  ExtraProgramValues values;
  if (destination != "Clipboard") values = SplitDeliveredPath(outputPath);
  const std::string unquotedPath = values.path;
  const bool quote = options.QuoteFileNamesIncludingSpace == 1;
  if (quote) {
    for (std::string* v : {&values.path, &values.dir, &values.body, &values.ext, &values.file}) *v = QuoteIfBlank(*v);
  }

  std::vector<Piece> pieces{Piece{options.ExtraProgramParam, false}};
  const struct {
    std::uint32_t tagId;
    const std::string* value;
  } tags[] = {{kStrTagPath, &values.path},
              {kStrTagDir, &values.dir},
              {kStrTagBody, &values.body},
              {kStrTagExt, &values.ext},
              {kStrTagFile, &values.file}};
  int replaced = 0;
  for (const auto& tag : tags) replaced += ReplaceTag(pieces, LoadModuleString(tag.tagId), *tag.value);

  std::string params;
  for (const Piece& piece : pieces) params += piece.text;
  if (replaced == 0) params += FormatModuleString(kStrQuotedPathArgument, unquotedPath.c_str());

  std::string program = options.ExtraProgramPath;
  if (quote) program = QuoteIfBlank(program);
  return program + " " + params;
}

HRESULT RunExtraProgram(const Settings& settings, std::string_view outputPath) {
  const ExtraProcessValues& options = settings.ExtraProcess;
  if (options.LounchExtraProgram == 0) return S_OK;

  // The command line may be longer than 259 characters: it is passed whole.
  std::string command = BuildExtraCommandLine(options, settings.Destination, outputPath);
  ChildProcess program;
  if (Failed(program.StartCommandLine(command))) return kErrExtraProgramStart;

  if (options.WaitForExtraProgram == 1) {
    DWORD limit = options.WaitTimeForExtraProgram == 0 ? kProcessWaitInfinite
                                                        : static_cast<DWORD>(options.WaitTimeForExtraProgram);
    if (program.Wait(limit) != ProcessWait::Exited && options.KillExtraProgram == 1) program.Terminate(0);
  }
  // Letting go of the program does not end it; its exit code is not looked at.
  return S_OK;
}

}  // namespace ss
