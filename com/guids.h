// The module's fixed identifiers. They never change: registry entries and the
// browser's extension list refer to them.
#pragma once

#include "platform/com/guid.h"

namespace ss {

inline constexpr CLSID CLSID_Extension = MakeGuid("{8B442068-E8C2-41CE-A67B-40445563D39E}");
inline constexpr CLSID CLSID_BrowserHelperObject = MakeGuid("{8AFF40B9-D7FC-4DE8-B85A-E9183C8AF817}");
inline constexpr GUID LIBID_QUILLMERELib = MakeGuid("{4FF7AD26-38FC-454D-BA3C-437EC1EE5219}");
inline constexpr IID IID_IExtension = MakeGuid("{7EBA0A54-B2C8-4D00-8137-CAE3ADAE81CA}");
inline constexpr IID IID_IBrowserHelperObject = MakeGuid("{9B1123AE-6796-4DD2-94B4-EE814243788F}");
// The key name of the toolbar button under the browser's Extensions key.
inline constexpr GUID GUID_ToolbarButton = MakeGuid("{F31A55FD-BA63-4206-AD68-391B1242AEF6}");

// The browser's class for toolbar buttons that call a COM object's command target.
inline constexpr char kButtonHostClsid[] = "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}";

// Where the browser lists its toolbar buttons and its helper objects.
inline constexpr char kExtensionsKey[] = "Software\\Microsoft\\Internet Explorer\\Extensions";
inline constexpr char kHelperObjectsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

}  // namespace ss
