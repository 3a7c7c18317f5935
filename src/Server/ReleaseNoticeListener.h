#pragma once

namespace Orvane {
namespace Server {

// Told when its owner lets go of it. Nothing in the library calls it through this
// interface; the destructor is protected so that no one deletes through it either.
class ReleaseNoticeListener {
public:
    virtual void OnRelease() {}

protected:
    ReleaseNoticeListener() = default;
    ~ReleaseNoticeListener() = default;
};

} // namespace Server
} // namespace Orvane
