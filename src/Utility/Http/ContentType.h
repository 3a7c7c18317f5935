#pragma once

namespace Orvane {
namespace Utility {
namespace Http {

// Content types that the client can send.
enum ContentType {
    TextPlain = 0,          // "Content-Type: text/plain"
    MultipartFormData = 1,  // "Content-Type: multipart/form-data; boundary=" and the boundary
    AudioData = 2,          // "Content-Type: audiodata"
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
