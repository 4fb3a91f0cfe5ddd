#include "resources/strings.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ss {
namespace {

// English texts. A text the system has only in Japanese is absent here and is
// shown in Japanese in both languages.
const StringEntry kEnglish[] = {
    {106, "Bitmap(bmp)"},
    {107, "Jpeg"},
    {108, "PNG"},
    {114, "Bitmap (*.bmp)|*.bmp|All Files|*.*||"},
    {115, "Jpeg (*.jpg)|*.jpg|All Files|*.*||"},
    {116, "PNG (*.png)|*.png|All Files|*.*||"},
    {147, "TIFF"},
    {148, "TIFF (*.tif)|*.tif|All Files|*.*||"},
    {149, "No Compression"},
    {157, "It's about to capture very large size of image (%0.2fMB)\nIt will be taken for long time.\nAre you sure you "
          "want to capture it?"},
    {158, "Macintosh"},
    {159, "Confirm Capture Large Image"},
    {300, " - [Captured]"},
    {109, "HTML File Name (Without Extension)"},
    {110, "HTML File Name (With Extension)"},
    {111, "HTML Title"},
    {112, "%s already exists.\nDo you want to replace it?"},
    {113, "Save As"},
    {117, "2 Digits Number"},
    {118, "3 Digits Number"},
    {150, "A preset \"%s\" already exists.\nDo you want to replace it?"},
    {151, "Save Preset As"},
    {152, "Are you sure you want to delete the preset \"%s\"?"},
    {153, "Confirm Preset Delete"},
    {199, "/Scrollsnap.log"},
    {200, "MM'/'dd'/'yyyy"},
    {201, "HH':'mm':'ss"},
    {216, "Log File Size"},
    {217, "Log file size has amounted to %ld MB.\nSweep log file."},
    {218, "Fixed(%s)"},
    {219, "Scrollsnap"},
    {223, "%path%"},
    {224, "%dir%"},
    {225, "%body%"},
    {226, "%ext%"},
    {227, "%file%"},
    {231, " \"%s\""},
    {278, "&Backup Setting..."},
    {279, "&Restore Setting..."},
    {280, "Backup Setting"},
    {281, "Restore Setting"},
    {283, "Replace the current setting with the backup file.\nCurrent setting of Scrollsnap will be lost, and you "
          "cannot undo this process.\nAre you sure do you want to replace it?"},
    {285, "Backup of current setting has completed."},
    {287, "Restore of setting has completed."},
    {288, "Backup of setting has failed."},
    {289, "Restore of setting has failed."},
    {290, "Backup Files (*.ssb)|*.ssb|All Files|*.*||"},
    {291, "ssb"},
    {292, "Scrollsnap.ssb"},
    {293, "Unique Time ID"},
    {313, "Image Memory"},
    {314, "Failed to alloc memory for image.\nCapture size or image size may be too large."},
    {315, "Error"},
    {316, "An error occurred.\nError code: 0x%08x"},
};

const StringEntry kJapanese[] = {
    {106, "ビットマップ(bmp)"},
    {107, "Jpeg"},
    {108, "PNG"},
    {114, "ビットマップ (*.bmp)|*.bmp|すべてのファイル|*.*||"},
    {115, "Jpeg (*.jpg)|*.jpg|すべてのファイル|*.*||"},
    {116, "PNG (*.png)|*.png|すべてのファイル|*.*||"},
    {147, "TIFF"},
    {148, "TIFF (*.tif)|*.tif|すべてのファイル|*.*||"},
    {149, "圧縮しない"},
    {157, "非常に大きなサイズの画像 (%0.2fMB) をキャプチャしようとしています。\n時間がかかる場合があります。\n"
          "キャプチャしてもよろしいですか?"},
    {158, "Macintosh"},
    {159, "大きな画像のキャプチャの確認"},
    {300, " - [キャプチャ完了]"},
    {109, "HTML ファイル名 (拡張子なし)"},
    {110, "HTML ファイル名 (拡張子付き)"},
    {111, "HTML タイトル"},
    {112, "%s は既に存在します。\n置き換えますか?"},
    {113, "名前を付けて保存"},
    {117, "2 桁の番号"},
    {118, "3 桁の番号"},
    {150, "プリセット \"%s\" は既に存在します。\n置き換えますか?"},
    {151, "プリセットに名前を付けて保存"},
    {152, "プリセット \"%s\" を削除してもよろしいですか?"},
    {153, "プリセット削除の確認"},
    {199, "/Scrollsnap.log"},
    {200, "yyyy'/'MM'/'dd"},
    {201, "hh':'mm':'ss"},
    {216, "ログファイルのサイズ"},
    {217, "ログファイルのサイズが %ld MB に達しました。\nログファイルを整理してください。"},
    {218, "固定(%s)"},
    {219, "Scrollsnap"},
    {223, "%path%"},
    {224, "%dir%"},
    {225, "%body%"},
    {226, "%ext%"},
    {227, "%file%"},
    {231, " \"%s\""},
    {278, "設定のバックアップ(&B)..."},
    {279, "設定の復元(&R)..."},
    {280, "設定のバックアップ"},
    {281, "設定の復元"},
    {283, "現在の設定をバックアップファイルの内容で置き換えます。\nScrollsnap の現在の設定は失われ、元に戻すことはできません。\n"
          "置き換えてもよろしいですか?"},
    {285, "現在の設定のバックアップが完了しました。"},
    {287, "設定の復元が完了しました。"},
    {288, "設定のバックアップに失敗しました。"},
    {289, "設定の復元に失敗しました。"},
    {290, "バックアップファイル (*.ssb)|*.ssb|すべてのファイル|*.*||"},
    {291, "ssb"},
    {292, "Scrollsnap.ssb"},
    {293, "ユニーク時間 ID"},
    {313, "イメージメモリ"},
    {314, "イメージ用のメモリを確保できませんでした。\nキャプチャサイズまたは画像サイズが大きすぎる可能性があります。"},
    {315, "エラー"},
    {316, "エラーが発生しました。\nエラーコード: 0x%08x"},
    {321, "レジストリキーのオープンに失敗しました:\n%s"},
    {332, "レジストリ"},
    {2201, "レジストリキーのオープンに失敗しました。"},
    {2202, "レジストリキーの作成に失敗しました。"},
    {2204, "レジストリ値の取得に失敗しました。"},
};

const StringTable kTable = {kEnglish, sizeof kEnglish / sizeof kEnglish[0], kJapanese,
                            sizeof kJapanese / sizeof kJapanese[0]};

}  // namespace

const StringTable& ModuleStrings() { return kTable; }

std::string LoadModuleString(std::uint32_t id) { return LoadStringA(kTable, id); }

std::string FormatModuleString(std::uint32_t id, ...) {
  std::string format = LoadModuleString(id);
  va_list args;
  va_start(args, id);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format.c_str(), args);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

}  // namespace ss
