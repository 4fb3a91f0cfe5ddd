// Base64 with the standard alphabet and "=" padding, no line breaks: the form
// of the stored FTP password and of binary values in the backup file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ss {

std::string Base64Encode(const std::uint8_t* data, std::size_t size);
// Characters outside the alphabet are skipped; "=" ends the data.
std::vector<std::uint8_t> Base64Decode(std::string_view text);

}  // namespace ss
