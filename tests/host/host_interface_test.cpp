// The host's view: only the public header, the library loaded with dlopen.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <olvar/olvar.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using CreateFn = IOlvar* (*)();
using ReleaseFn = void (*)(IOlvar**);

class HostInterface : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = dlopen(OLVAR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        create_ = reinterpret_cast<CreateFn>(dlsym(library_, "CreateOlvar"));
        release_ = reinterpret_cast<ReleaseFn>(dlsym(library_, "ReleaseOlvar"));
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(release_, nullptr);
    }

    void SetUp() override {
        tracker_ = create_();
        ASSERT_NE(tracker_, nullptr);
    }
    void TearDown() override { release_(&tracker_); }

    static void* library_;
    static CreateFn create_;
    static ReleaseFn release_;
    IOlvar* tracker_ = nullptr;
};

void* HostInterface::library_ = nullptr;
CreateFn HostInterface::create_ = nullptr;
ReleaseFn HostInterface::release_ = nullptr;

TEST_F(HostInterface, ReleaseClearsTheHandleAndToleratesNull) {
    IOlvar* extra = create_();
    ASSERT_NE(extra, nullptr);
    release_(&extra);
    EXPECT_EQ(extra, nullptr);
    release_(&extra);  // a handle holding null is left alone
    EXPECT_EQ(extra, nullptr);
    release_(nullptr);
}

}  // namespace
