// A host built against the installed package: creates a tracker, feeds one frame, releases it.
#include <olvar/olvar.h>

#include <cstdio>
#include <vector>

int main() {
    IOlvar* tracker = CreateOlvar();
    if (tracker == nullptr) {
        std::puts("CreateOlvar returned null");
        return 1;
    }
    if (tracker->SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false) != kOlvarOk) {
        std::puts("SetFrameFormat failed");
        return 1;
    }
    std::vector<unsigned char> frame(640 * 480 * 3, 90);
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int user = -1;
    const int status = tracker->ProcessFrame(frame.data(), static_cast<int>(frame.size()), &user,
                                             records, gestures);
    std::printf("status %d, mode %s\n", status,
                tracker->GetModeName(tracker->GetGestureMode(nullptr)));
    ReleaseOlvar(&tracker);
    return tracker == nullptr ? 0 : 1;
}
