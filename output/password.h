// The protected text form of the stored FTP password: DES-CBC under a key
// derived from a fixed pass phrase, in Base64. It hides the password from
// casual reading; it is no secret against anyone who has the program.
#pragma once

#include <string>

namespace ss {

// Clear text -> stored text; "" for an empty password and on any failure.
std::string ProtectPassword(const std::string& clear);
// Stored text -> clear text; "" for an empty, damaged or foreign value.
std::string UnprotectPassword(const std::string& stored);

}  // namespace ss
