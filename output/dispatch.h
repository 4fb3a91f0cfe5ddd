// The output dispatch: delivers the finished picture to the destination the
// settings choose (clipboard or file), then frees the picture.
#pragma once

#include <string>

#include "core/session.h"

namespace ss {

// A Destination that names none of the destinations this build delivers to.
inline constexpr HRESULT kErrUnknownDestination = MakeHResult(0x80070057);
// The upload destination ("FTPBlog"), which this build does not deliver to.
inline constexpr HRESULT kErrUploadUnavailable = MakeHResult(0x80004001);

// 0 delivered; positive: stopped without a report (a cancelled save dialog);
// negative: an error. The picture's pixels are freed in every case.
HRESULT DispatchOutput(CaptureSession& session, const std::string& unused);

// True when the output writes the picture as a PNG file (the capture can
// then encode it while painting; see CaptureSession::encodedAhead).
bool DeliversPngFile(const Settings& settings);

// The save path's facts of the image format chosen in the settings (null
// result when the name is not a format of the table).
bool SaveFormatOf(const Settings& settings, SaveFormat* out);

}  // namespace ss
