#pragma once

namespace Orvane {
namespace Utility {
namespace Http {

// Status codes that the client can answer with, valued by their numbers.
enum StatusCode {
    OK = 200,
    BadRequest = 400,
    Forbidden = 403,
};

} // namespace Http
} // namespace Utility
} // namespace Orvane
