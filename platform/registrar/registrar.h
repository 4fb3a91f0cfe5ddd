// The registrar: runs registration scripts into the registry store.
//
// Script syntax (one root after another; names are bare words or 'quoted',
// with '' for a quote inside):
//
//   HKCR                                   also HKCU, HKLM and the long forms
//   {
//       NoRemove CLSID                     NoRemove: never deleted on removal
//       {
//           ForceRemove {GUID} = s 'Text'  ForceRemove: deleted and made anew on
//           {                              registration, deleted whole on removal
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//       Delete OldKey                      Delete: removed on registration
//   }
//
// Scripts are UTF-8; names and texts are stored in the process code page.
// Values: s 'text' (REG_SZ), d 'number' or d number (REG_DWORD, decimal or
// 0x hex), b 'hex bytes' (REG_BINARY). %NAME% is replaced from the given
// replacements, %% stands for a single %.
//
// On removal a key without a modifier is deleted when nothing but what the
// script wrote is left in it (no subkeys of its own remain); its listed
// values are deleted in any case.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/base/result.h"

namespace ss {

using RegistrarReplacements = std::vector<std::pair<std::string, std::string>>;

// 0, a registry failure as 0x8007xxxx, or DISP_E_EXCEPTION (0x80020009) for a
// script that does not parse (RegistrarLastError() then says where).
HRESULT RegistrarRun(const std::string& script, bool registering, const RegistrarReplacements& replacements);
std::string RegistrarLastError();

}  // namespace ss
