// GoogleTest's own customisation point, taken in place of its empty default:
// the test programs are built with mingw-w64's win32 thread model, as
// orbwick.dll is, so that they run on Windows XP SP3 and Server 2003. That
// model has no std::mutex or std::condition_variable, which GoogleTest's
// Notification is made of; everything else of GoogleTest's threading on
// Windows is its own, on critical sections and thread-local storage. This
// Notification is a manual-reset event (notification.cpp). GoogleTest uses
// it only to start the threads of its own tests.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    // Lets every thread waiting in WaitForNotification go on, now and later.
    void Notify();
    void WaitForNotification();

private:
    void* event_;
};

}  // namespace internal
}  // namespace testing
