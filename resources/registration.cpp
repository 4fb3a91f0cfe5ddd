#include "resources/registration.h"

namespace ss {
namespace {

#define SS_EXTENSION_CLASSES                                                        \
  "HKCR\n"                                                                          \
  "{\n"                                                                             \
  "\tQuillmere.Extension.1 = s 'Extension Class'\n"                                 \
  "\t{\n"                                                                           \
  "\t\tCLSID = s '{8B442068-E8C2-41CE-A67B-40445563D39E}'\n"                        \
  "\t}\n"                                                                           \
  "\tQuillmere.Extension = s 'Extension Class'\n"                                   \
  "\t{\n"                                                                           \
  "\t\tCLSID = s '{8B442068-E8C2-41CE-A67B-40445563D39E}'\n"                        \
  "\t\tCurVer = s 'Quillmere.Extension.1'\n"                                        \
  "\t}\n"                                                                           \
  "\tNoRemove CLSID\n"                                                              \
  "\t{\n"                                                                           \
  "\t\tForceRemove {8B442068-E8C2-41CE-A67B-40445563D39E} = s 'Extension Class'\n"  \
  "\t\t{\n"                                                                         \
  "\t\t\tProgID = s 'Quillmere.Extension.1'\n"                                      \
  "\t\t\tVersionIndependentProgID = s 'Quillmere.Extension'\n"                      \
  "\t\t\tForceRemove 'Programmable'\n"                                              \
  "\t\t\tInprocServer32 = s '%MODULE%'\n"                                           \
  "\t\t\t{\n"                                                                       \
  "\t\t\t\tval ThreadingModel = s 'Apartment'\n"                                    \
  "\t\t\t}\n"                                                                       \
  "\t\t\t'TypeLib' = s '{4FF7AD26-38FC-454D-BA3C-437EC1EE5219}'\n"                  \
  "\t\t}\n"                                                                         \
  "\t}\n"

#define SS_BUTTON_BEGIN                                                             \
  "HKLM\n"                                                                          \
  "{\n"                                                                             \
  "\tNoRemove Software\n"                                                           \
  "\t{\n"                                                                           \
  "\t\tNoRemove Microsoft\n"                                                        \
  "\t\t{\n"                                                                         \
  "\t\t\tNoRemove 'Internet Explorer'\n"                                            \
  "\t\t\t{\n"                                                                       \
  "\t\t\t\tNoRemove Extensions\n"                                                   \
  "\t\t\t\t{\n"                                                                     \
  "\t\t\t\t\tForceRemove {F31A55FD-BA63-4206-AD68-391B1242AEF6} = s 'Scrollsnap Extension'\n" \
  "\t\t\t\t\t{\n"                                                                   \
  "\t\t\t\t\t\tval ButtonText = s 'Scrollsnap'\n"                                   \
  "\t\t\t\t\t\tval CLSID = s '{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}'\n"            \
  "\t\t\t\t\t\tval ClsidExtension = s '{8B442068-E8C2-41CE-A67B-40445563D39E}'\n"   \
  "\t\t\t\t\t\tval 'Default Visible' = s 'Yes'\n"                                   \
  "\t\t\t\t\t\tval HotIcon = s '%MODULE%,202'\n"                                    \
  "\t\t\t\t\t\tval Icon = s '%MODULE%,203'\n"

#define SS_BUTTON_END \
  "\t\t\t\t\t}\n"     \
  "\t\t\t\t}\n"       \
  "\t\t\t}\n"         \
  "\t\t}\n"           \
  "\t}\n"             \
  "}\n"

const char kExtensionEnglish[] =
    SS_EXTENSION_CLASSES
    "}\n" SS_BUTTON_BEGIN
    "\t\t\t\t\t\tval MenuText = s 'Capture with Scrollsnap(&T)'\n"
    "\t\t\t\t\t\tval ToolTip = s 'Capture with Scrollsnap'\n" SS_BUTTON_END;

const char kExtensionJapanese[] =
    SS_EXTENSION_CLASSES
    "\tForceRemove .ssb = s 'Quillmere.Setting'\n"
    "\tForceRemove Quillmere.Setting = s 'Scrollsnap setting backup file'\n"
    "\t{\n"
    "\t\tval BrowserFlags = d 8\n"
    "\t\tval EditFlags = d 0\n"
    "\t\tDefaultIcon = s '%MODULE%,202'\n"
    "\t\tshell\n"
    "\t}\n"
    "}\n" SS_BUTTON_BEGIN
    "\t\t\t\t\t\tval MenuText = s 'Scrollsnapでキャプチャする(&W)'\n"
    "\t\t\t\t\t\tval ToolTip = s 'Scrollsnapでキャプチャする'\n" SS_BUTTON_END;

const char kBrowserHelper[] =
    "HKCR\n"
    "{\n"
    "\tQuillmere.BrowserHelperObject.1 = s 'BrowserHelperObject Class'\n"
    "\t{\n"
    "\t\tCLSID = s '{8AFF40B9-D7FC-4DE8-B85A-E9183C8AF817}'\n"
    "\t}\n"
    "\tQuillmere.BrowserHelperObject = s 'BrowserHelperObject Class'\n"
    "\t{\n"
    "\t\tCLSID = s '{8AFF40B9-D7FC-4DE8-B85A-E9183C8AF817}'\n"
    "\t\tCurVer = s 'Quillmere.BrowserHelperObject.1'\n"
    "\t}\n"
    "\tNoRemove CLSID\n"
    "\t{\n"
    "\t\tForceRemove {8AFF40B9-D7FC-4DE8-B85A-E9183C8AF817} = s 'BrowserHelperObject Class'\n"
    "\t\t{\n"
    "\t\t\tProgID = s 'Quillmere.BrowserHelperObject.1'\n"
    "\t\t\tVersionIndependentProgID = s 'Quillmere.BrowserHelperObject'\n"
    "\t\t\tForceRemove 'Programmable'\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\n"
    "\t\t\t{\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\n"
    "\t\t\t}\n"
    "\t\t\t'TypeLib' = s '{4FF7AD26-38FC-454D-BA3C-437EC1EE5219}'\n"
    "\t\t}\n"
    "\t}\n"
    "}\n"
    "HKLM\n"
    "{\n"
    "\tNoRemove SOFTWARE\n"
    "\t{\n"
    "\t\tNoRemove Microsoft\n"
    "\t\t{\n"
    "\t\t\tNoRemove Windows\n"
    "\t\t\t{\n"
    "\t\t\t\tNoRemove CurrentVersion\n"
    "\t\t\t\t{\n"
    "\t\t\t\t\tNoRemove Explorer\n"
    "\t\t\t\t\t{\n"
    "\t\t\t\t\t\tNoRemove 'Browser Helper Objects'\n"
    "\t\t\t\t\t\t{\n"
    "\t\t\t\t\t\t\tForceRemove '{8AFF40B9-D7FC-4DE8-B85A-E9183C8AF817}'\n"
    "\t\t\t\t\t\t}\n"
    "\t\t\t\t\t}\n"
    "\t\t\t\t}\n"
    "\t\t\t}\n"
    "\t\t}\n"
    "\t}\n"
    "}\n";

}  // namespace

const char* ExtensionRegistrationScript(Language lang) {
  return lang == Language::Japanese ? kExtensionJapanese : kExtensionEnglish;
}

const char* BrowserHelperRegistrationScript() { return kBrowserHelper; }

}  // namespace ss
