// File-name rules and the save path: the base folder, optional sub-folders
// made from the page's URL, a file body from one of the naming rules and the
// image format's extension; the save dialog and the overwrite question.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/ui/ui.h"
#include "settings/settings.h"

namespace ss {

// Local paths use "/" between folders.
inline constexpr char kLocalSeparator = '/';
// The output path buffer holds at most 259 characters and its terminator.
inline constexpr std::size_t kMaxOutputPath = 260;

// Result codes of the naming step.
inline constexpr HRESULT kResultCancelled = MakeHResult(0x00080001);       // the user cancelled a dialog
inline constexpr HRESULT kErrFilePathTooLong = MakeHResult(0x800409C9);    // 260 characters or more
inline constexpr HRESULT kErrImageFormatInvalid = MakeHResult(0x80040961); // format not in the table
inline constexpr HRESULT kErrPathIsFolder = MakeHResult(0x80070003);       // the chosen path is a folder
inline constexpr HRESULT kErrNumbersExhausted = MakeHResult(0x80070004);   // every number is taken
inline constexpr HRESULT kErrKeepFolder = MakeHResult(0x80070005);         // a folder could not be ensured
inline constexpr HRESULT kErrDocumentsFolder = MakeHResult(0x8007076C);    // no documents folder path

// One naming rule: its settings name and the string id of its display text.
struct FileNameRuleRow {
  const char* name;
  std::uint32_t displayStringId;
};

// The fixed rule table, in the order the settings dialog lists it.
inline constexpr FileNameRuleRow FileNameRuleTable[] = {
    {"HTMLFileTitle", 111},      // "HTML Title"
    {"HTMLFileWithoutExt", 109}, // "HTML File Name (Without Extension)"
    {"HTMLFileWithExt", 110},    // "HTML File Name (With Extension)"
    {"Numbered2", 117},          // "2 Digits Number"
    {"Numbered3", 118},          // "3 Digits Number"
    {"UniqueTimeID", 293},       // "Unique Time ID"
};
inline constexpr std::size_t kFileNameRuleCount = sizeof FileNameRuleTable / sizeof FileNameRuleTable[0];

// What a rule value asks for. Rule names are compared exactly
// (case-sensitively). "Fixed" (not offered in the table, but a value the
// settings keep) names the fixed file body `FixedFileName`; any other value,
// "HTMLTitle" included, names the page title.
enum class FileNameRuleKind { Title, FileWithoutExt, FileWithExt, Numbered2, Numbered3, UniqueTime, Fixed };
FileNameRuleKind ClassifyFileNameRule(std::string_view rule);

// The facts of the page that the naming reads, gathered by the capture session
// from the browser and converted to the process code page (not URL-decoded).
// Each fact comes with the result of reading it: a failure ends the naming
// with that code when the rule in use needs the fact.
struct PageFacts {
  std::string locationUrl;          // the browser's current location URL
  HRESULT locationUrlResult = S_OK;
  HRESULT documentResult = S_OK;    // getting the page's document
  std::string title;                // the document's title
  HRESULT titleResult = S_OK;
  std::string pathname;             // the document location's path name ("/a/b.html")
  HRESULT pathnameResult = S_OK;
};

// The image format row the naming needs: the file extension (without the
// dot) and the save dialog's filter ("Name|pattern|...||").
struct SaveFormat {
  std::string extension;
  std::string filter;
};

// The output texts of a capture: the path to write and the folder, body and
// extension it was built from.
struct OutputTexts {
  std::string outputPath;   // at most kMaxOutputPath - 1 characters
  std::string outputFolder;
  std::string outputBody;
  std::string outputExt;
};

// Makes sure `path` exists, creating missing parent folders first. Something
// of that name (folder or file) counts as existing. A path without any
// `separator` after its first character cannot be made: a "Keep directory
// error" box names it and the result is kErrKeepFolder, as it is when a
// folder could not be created.
HRESULT EnsureFolder(std::string_view path, char separator);

// folder (trailing separators removed) + "/" + body, then "." + extension
// when the extension is not empty.
std::string JoinFilePath(std::string_view folder, std::string_view body, std::string_view extension);

// The first of 0 .. 10^digits - 1 (digits clamped to 1..4, zero-padded) that
// names nothing yet in `folder` with `extension`; kErrNumbersExhausted when
// all are taken.
HRESULT FindFreeNumber(std::string_view folder, int digits, std::string_view extension, std::string* body);

// The local time as 17 digits: yyyyMMddHHmmss and milliseconds.
std::string UniqueTimeId();

// The file body from a (decoded) location path name: the text after its last
// "\" or "/" ("index.html" when that is empty), cut at its last "." unless
// `withExtension`, with prohibited characters replaced.
std::string HtmlFileBody(std::string_view pathName, bool withExtension);

// Builds out.outputPath from the settings (base folder, URL folders, naming
// rule, overwrite and dialog options) and the page. `format` is the row of
// the chosen image format, null when the format name is not in the table.
// Returns 0 with the path ready, kResultCancelled when the user cancelled the
// save dialog, or an error code.
HRESULT BuildSavePath(const Settings& settings, const PageFacts& page, const SaveFormat* format,
                      HWND browserWindow, OutputTexts& out);

// The save dialog on out.outputPath; 0 when the user chose a file (written
// back to out.outputPath), kResultCancelled when cancelled,
// kErrFilePathTooLong when the chosen path does not fit.
HRESULT ShowSaveAsDialog(const SaveFormat& format, HWND browserWindow, OutputTexts& out);

// kErrPathIsFolder when out.outputPath is a folder; 0 when nothing is there,
// when `confirmOverwrite` is off or when the user agrees to replace the file;
// kResultCancelled when the user does not.
HRESULT AskOverwrite(bool confirmOverwrite, HWND browserWindow, const OutputTexts& out);

}  // namespace ss
