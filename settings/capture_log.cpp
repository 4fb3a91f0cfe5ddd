#include "settings/capture_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/codepage/codepage.h"
#include "platform/folders/folders.h"
#include "platform/resources/resources.h"
#include "resources/strings.h"

namespace ss {
namespace {

const char* const kEnglishDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kEnglishMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
// UTF-8, converted to the process code page when used.
const char* const kJapaneseDays[] = {"日", "月", "火", "水", "木", "金", "土"};

std::string Number(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

std::string DayName(int weekday, bool full) {
  weekday = ((weekday % 7) + 7) % 7;
  if (UserLanguage() == Language::Japanese) {
    std::string name = kJapaneseDays[weekday];
    if (full) name += "曜日";
    return Utf8ToAnsi(name);
  }
  std::string name = kEnglishDays[weekday];
  return full ? name : name.substr(0, 3);
}

std::string MonthName(int month, bool full) {
  month = ((month % 12) + 12) % 12;
  if (UserLanguage() == Language::Japanese) return Utf8ToAnsi(std::to_string(month + 1) + "月");
  std::string name = kEnglishMonths[month];
  return full ? name : name.substr(0, 3);
}

// Walks a picture: quoted text and characters that are no picture letters are
// copied; each run of a picture letter is given to `field` with its length.
template <typename Field>
std::string WalkPicture(std::string_view picture, std::string_view letters, Field field) {
  std::string out;
  std::size_t i = 0;
  while (i < picture.size()) {
    char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (letters.find(c) == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    out += field(c, run);
    i += run;
  }
  return out;
}

int OpenForAppend(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all of `data`; false on a failure.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string FormatDatePicture(std::string_view picture, const std::tm& when) {
  return WalkPicture(picture, "dMyg", [&](char c, std::size_t run) -> std::string {
    switch (c) {
      case 'd':
        if (run == 1) return std::to_string(when.tm_mday);
        if (run == 2) return Number(when.tm_mday, 2);
        return DayName(when.tm_wday, run >= 4);
      case 'M':
        if (run == 1) return std::to_string(when.tm_mon + 1);
        if (run == 2) return Number(when.tm_mon + 1, 2);
        return MonthName(when.tm_mon, run >= 4);
      case 'y': {
        int year = when.tm_year + 1900;
        if (run == 1) return std::to_string(year % 100);
        if (run == 2) return Number(year % 100, 2);
        return Number(year, 4);
      }
      default:  // 'g': the era
        return UserLanguage() == Language::Japanese ? Utf8ToAnsi("西暦") : std::string("A.D.");
    }
  });
}

std::string FormatTimePicture(std::string_view picture, const std::tm& when) {
  return WalkPicture(picture, "hHmst", [&](char c, std::size_t run) -> std::string {
    int width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'h': {
        int h = when.tm_hour % 12;
        return Number(h == 0 ? 12 : h, width);
      }
      case 'H': return Number(when.tm_hour, width);
      case 'm': return Number(when.tm_min, width);
      case 's': return Number(when.tm_sec, width);
      default: {  // 't': the AM/PM mark, one letter or whole
        if (UserLanguage() == Language::Japanese) return Utf8ToAnsi(when.tm_hour < 12 ? "午前" : "午後");
        std::string mark = when.tm_hour < 12 ? "AM" : "PM";
        return run == 1 ? mark.substr(0, 1) : mark;
      }
    }
  });
}

std::string CaptureLogTimeText(const std::tm& when) {
  return FormatDatePicture(LoadModuleString(kStrLogDatePicture), when) + " " +
         FormatTimePicture(LoadModuleString(kStrLogTimePicture), when);
}

std::string CaptureLogLine(std::string_view title, std::string_view url, std::string_view timeText) {
  auto field = [](std::string_view text) {
    std::string out(text);
    for (char& c : out)
      if (c == '\r' || c == '\n') c = ' ';
    return out;
  };
  std::string line = field(title);
  line += '\t';
  line += field(url);
  line += '\t';
  line += field(timeText);
  line += "\r\n";
  return line;
}

HRESULT AppendCaptureLog(const Settings& settings, const PageFacts& page, HWND browserWindow) {
  const CaptureLogValues& log = settings.CaptureLog;
  if (log.EnabledLog == 0) return S_OK;
  if (Failed(page.documentResult) || Failed(page.locationUrlResult)) return S_OK;

  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::string title = Succeeded(page.titleResult) ? page.title : std::string();
  std::string line = CaptureLogLine(title, page.locationUrl, CaptureLogTimeText(local));

  std::string path = log.LogFilePath;
  if (path.empty()) path = GetPersonalFolder() + LoadModuleString(kStrLogFileName);
  int fd = OpenForAppend(path);
  if (fd < 0) return S_OK;  // the line is lost; the capture still succeeded
  // One write: lines of windows that capture at the same time never mix.
  bool written = WriteAll(fd, line);
  struct stat st;
  bool sized = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (!written || !sized) return S_OK;

  if (log.EnabledAlertBySize != 0 && static_cast<long long>(st.st_size) / kLogAlertUnit >= log.SizeMBForAlert) {
    std::string text = FormatModuleString(kStrLogSizeAlert, static_cast<long>(log.SizeMBForAlert));
    std::string caption = LoadModuleString(kStrLogSizeCaption);
    MessageBoxA(browserWindow, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
  }
  return S_OK;
}

}  // namespace ss
