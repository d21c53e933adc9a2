// The host's view: only the public header, the library loaded with dlopen.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <olvar/olvar.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
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

std::vector<unsigned char> OptionBytes(const OlvarOptions& options) {
    const auto* p = reinterpret_cast<const unsigned char*>(&options);
    return std::vector<unsigned char>(p, p + sizeof options);
}

// A frame pixel (blue, green, red) that identifies its position.
struct Bgr {
    unsigned char b, g, r;
};
Bgr FramePixel(int x, int y) {
    return {static_cast<unsigned char>(x * 3 + y), static_cast<unsigned char>(y * 5 + 1),
            static_cast<unsigned char>(x ^ y)};
}

// A host frame with 3 or 4 bytes per pixel, rows `stride` apart, rows top-down.
std::vector<unsigned char> Frame(int width, int height, int stride, int bytesPerPixel) {
    std::vector<unsigned char> frame(static_cast<size_t>(stride) * height, 0x5A);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &frame[static_cast<size_t>(y) * stride + x * bytesPerPixel];
            const Bgr v = FramePixel(x, y);
            p[0] = v.b;
            p[1] = v.g;
            p[2] = v.r;
        }
    }
    return frame;
}

// The result of one ProcessFrame call for one user with fresh output records.
int Process(IOlvar* tracker, const std::vector<unsigned char>& frame) {
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int userNumber = -7;
    return tracker->ProcessFrame(frame.data(), static_cast<int>(frame.size()), &userNumber, records,
                                 gestures);
}

// Whether a frame of that many bytes passes the size check of the declared geometry.
bool AcceptsFrameSize(IOlvar* tracker, size_t bytes) {
    const std::vector<unsigned char> frame(bytes, 0);
    return Process(tracker, frame) != kOlvarInvalid;
}

// ---------------------------------------------------------------------------------------------
// Creation and release

TEST_F(HostInterface, ReleaseClearsTheHandleAndToleratesNull) {
    IOlvar* extra = create_();
    ASSERT_NE(extra, nullptr);
    release_(&extra);
    EXPECT_EQ(extra, nullptr);
    release_(&extra);  // a handle holding null is left alone
    EXPECT_EQ(extra, nullptr);
    release_(nullptr);
}

TEST_F(HostInterface, ANewTrackerStartsWithTheDefaults) {
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{0, 0, 1, 1, 0, 0}));
    const UserMode mode = tracker_->GetUserMode();
    EXPECT_EQ(mode.userCount, 1);
    EXPECT_EQ(mode.mode, 0);
    int gestureMode = -1;
    EXPECT_EQ(tracker_->GetGestureMode(&gestureMode), 4);
    EXPECT_EQ(gestureMode, 4);
    EXPECT_EQ(tracker_->GetGestureMode(nullptr), 4);
    EXPECT_STREQ(tracker_->GetModeName(gestureMode), "modeMotionExt1");
    // 320 x 240 frames of 3 bytes per pixel until told otherwise.
    EXPECT_TRUE(AcceptsFrameSize(tracker_, 960 * 240));
    EXPECT_FALSE(AcceptsFrameSize(tracker_, 960 * 240 + 1));
}

TEST(HostExports, TheLibraryExportsExactlyTheTwoFactories) {
    // The defined symbols of the dynamic symbol table, as `nm -D --defined-only` lists them.
    std::ifstream file(OLVAR_LIBRARY_PATH, std::ios::binary);
    ASSERT_TRUE(file.good());
    const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    ASSERT_GE(image.size(), sizeof(Elf64_Ehdr));
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    ASSERT_EQ(std::memcmp(header.e_ident, ELFMAG, SELFMAG), 0);
    ASSERT_EQ(header.e_ident[EI_CLASS], ELFCLASS64);
    ASSERT_LE(header.e_shoff + static_cast<size_t>(header.e_shnum) * sizeof(Elf64_Shdr),
              image.size());
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), image.data() + header.e_shoff,
                sections.size() * sizeof(Elf64_Shdr));

    std::set<std::string> defined;
    int dynamicTables = 0;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM) {
            continue;
        }
        ++dynamicTables;
        ASSERT_LT(section.sh_link, sections.size());
        const Elf64_Shdr& strings = sections[section.sh_link];
        ASSERT_LE(section.sh_offset + section.sh_size, image.size());
        ASSERT_LE(strings.sh_offset + strings.sh_size, image.size());
        for (size_t offset = 0; offset + sizeof(Elf64_Sym) <= section.sh_size;
             offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + section.sh_offset + offset, sizeof symbol);
            if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0) {
                continue;
            }
            ASSERT_LT(symbol.st_name, strings.sh_size);
            defined.insert(image.data() + strings.sh_offset + symbol.st_name);
        }
    }
    EXPECT_EQ(dynamicTables, 1);
    EXPECT_EQ(defined, (std::set<std::string>{"CreateOlvar", "ReleaseOlvar"}));
}

// ---------------------------------------------------------------------------------------------
// Options, user mode, gesture mode

TEST_F(HostInterface, OptionsRoundTripAllSixBytes) {
    const OlvarOptions options = {true, true, false, false, true, true};
    EXPECT_EQ(tracker_->SetOptions(&options), kOlvarOk);
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{1, 1, 0, 0, 1, 1}));
    EXPECT_EQ(tracker_->SetOptions(nullptr), kOlvarInvalid);
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{1, 1, 0, 0, 1, 1}));
}

TEST_F(HostInterface, LegAndPalmSwitchesAreTheLastTwoOptionBytes) {
    tracker_->EnableLegTracking(true);
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{0, 0, 1, 1, 1, 0}));
    tracker_->EnablePalmTracking(true);
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{0, 0, 1, 1, 1, 1}));
    tracker_->EnableLegTracking(false);
    tracker_->EnablePalmTracking(false);
    EXPECT_EQ(OptionBytes(tracker_->GetOptions()), (std::vector<unsigned char>{0, 0, 1, 1, 0, 0}));
}

TEST_F(HostInterface, SetUserModeRejectsOutOfRangeValuesAndKeepsThePreviousOnes) {
    const UserMode two = {2, 1};
    ASSERT_EQ(tracker_->SetUserMode(&two), kOlvarOk);
    struct Case {
        UserMode mode;
        int expected;
    };
    const Case cases[] = {
        {{0, 0}, kOlvarInvalid}, {{3, 0}, kOlvarInvalid},  {{1, -1}, kOlvarInvalid},
        {{1, 2}, kOlvarInvalid}, {{-1, 0}, kOlvarInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode.userCount) + "/" + std::to_string(c.mode.mode));
        EXPECT_EQ(tracker_->SetUserMode(&c.mode), c.expected);
        EXPECT_EQ(tracker_->GetUserMode().userCount, 2);
        EXPECT_EQ(tracker_->GetUserMode().mode, 1);
    }
    EXPECT_EQ(tracker_->SetUserMode(nullptr), kOlvarInvalid);
    const UserMode one = {1, 0};
    EXPECT_EQ(tracker_->SetUserMode(&one), kOlvarOk);
    EXPECT_EQ(tracker_->GetUserMode().userCount, 1);
    EXPECT_EQ(tracker_->GetUserMode().mode, 0);
}

TEST_F(HostInterface, SetGestureModeSelectsAModeOrRejectsItAndKeepsTheLast) {
    const int mediaCentre = modeMediaCenter;
    EXPECT_EQ(tracker_->SetGestureMode(&mediaCentre), kOlvarOk);
    EXPECT_EQ(tracker_->GetGestureMode(nullptr), modeMediaCenter);
    const int beyond = 15;
    EXPECT_EQ(tracker_->SetGestureMode(&beyond), kOlvarInvalid);
    EXPECT_EQ(tracker_->SetGestureMode(nullptr), kOlvarInvalid);
    EXPECT_EQ(tracker_->GetGestureMode(nullptr), modeMediaCenter);
}

TEST_F(HostInterface, ModeAndGestureListsAndNames) {
    const int* modes = nullptr;
    ASSERT_EQ(tracker_->GetModeList(&modes), 14);
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(std::vector<int>(modes, modes + 14),
              (std::vector<int>{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    const int* gestures = nullptr;
    ASSERT_EQ(tracker_->GetGestureList(&gestures), 74);
    ASSERT_NE(gestures, nullptr);
    for (int i = 0; i < 74; ++i) {
        EXPECT_EQ(gestures[i], i - 1);
    }
    EXPECT_EQ(tracker_->GetModeList(nullptr), kOlvarInvalid);
    EXPECT_EQ(tracker_->GetGestureList(nullptr), kOlvarInvalid);

    struct Name {
        int id;
        const char* expected;
    };
    const Name modeNames[] = {
        {0, "modeStatus"},     {2, "modeMotion"},       {3, "modeUndefine"},
        {4, "modeMotionExt1"}, {10, "modeMediaCenter"}, {14, "modeTreasureHunter"},
        {15, "modeUndefine"},  {-1, "modeUndefine"},
    };
    for (const Name& n : modeNames) {
        EXPECT_STREQ(tracker_->GetModeName(n.id), n.expected) << n.id;
    }
    const Name gestureNames[] = {
        {-1, "gesUndefined"}, {0, "gesNeutral"},    {1, "gesL5R7"},       {24, "gesMouseClick"},
        {72, "gesBodyHold"},  {-2, "gesUndefined"}, {73, "gesUndefined"}, {1 << 30, "gesUndefined"},
    };
    for (const Name& n : gestureNames) {
        EXPECT_STREQ(tracker_->GetGestureName(n.id), n.expected) << n.id;
    }
}

// ---------------------------------------------------------------------------------------------
// Frame format

TEST_F(HostInterface, SetFrameFormatAcceptsOrRejectsAndARejectionChangesNothing) {
    struct Case {
        const char* name;
        int stride, height, width, format;
        int expected;
    };
    const Case cases[] = {
        {"width 2049", 3 * 2049, 480, 2049, 1, kOlvarInvalid},
        {"height 119", 3 * 640, 119, 640, 1, kOlvarInvalid},
        {"stride 3w - 1 in format 1", 3 * 640 - 1, 480, 640, 1, kOlvarInvalid},
        {"format 3", 4 * 640, 480, 640, 3, kOlvarInvalid},
        {"stride 4w in format 2", 4 * 640, 480, 640, 2, kOlvarOk},
        {"stride 3w in format 1", 3 * 176, 144, 176, 1, kOlvarOk},
        {"padded stride", 3 * 352 + 32, 288, 352, 1, kOlvarOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IOlvar* tracker = create_();
        ASSERT_NE(tracker, nullptr);
        EXPECT_EQ(tracker->SetFrameFormat(c.stride, c.height, c.width, c.format, false),
                  c.expected);
        const size_t declared = static_cast<size_t>(c.stride) * c.height;
        if (c.expected == kOlvarOk) {
            EXPECT_TRUE(AcceptsFrameSize(tracker, declared));
            EXPECT_FALSE(AcceptsFrameSize(tracker, 960 * 240));
        } else {
            // Still the 320 x 240 frames of creation.
            EXPECT_TRUE(AcceptsFrameSize(tracker, 960 * 240));
            EXPECT_FALSE(AcceptsFrameSize(tracker, declared));
        }
        release_(&tracker);
    }
}

TEST_F(HostInterface, ProcessFrameChecksItsArguments) {
    ASSERT_EQ(tracker_->SetFrameFormat(4 * 200, 150, 200, 2, false), kOlvarOk);
    const std::vector<unsigned char> frame = Frame(200, 150, 800, 4);
    const int size = static_cast<int>(frame.size());
    TrackingRecord records[2];
    GestureRecord gestures[2];
    int userNumber = 0;
    struct Case {
        const char* name;
        const unsigned char* data;
        int size;
        int* userNumber;
        TrackingRecord* records;
        GestureRecord* gestures;
    };
    const Case cases[] = {
        {"null frame", nullptr, size, &userNumber, records, gestures},
        {"one byte short", frame.data(), size - 1, &userNumber, records, gestures},
        {"one byte over", frame.data(), size + 1, &userNumber, records, gestures},
        {"size of 3-byte pixels", frame.data(), 600 * 150, &userNumber, records, gestures},
        {"negative size", frame.data(), -size, &userNumber, records, gestures},
        {"null user number", frame.data(), size, nullptr, records, gestures},
        {"null records", frame.data(), size, &userNumber, nullptr, gestures},
        {"null gestures", frame.data(), size, &userNumber, records, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tracker_->ProcessFrame(c.data, c.size, c.userNumber, c.records, c.gestures),
                  kOlvarInvalid);
    }
    const int status = tracker_->ProcessFrame(frame.data(), size, &userNumber, records, gestures);
    EXPECT_NE(status, kOlvarInvalid);
    EXPECT_NE(status, kOlvarBadFormat);
}

TEST_F(HostInterface, ProcessFrameClearsOneRecordPerUserBeforeAnythingElse) {
    // A rejected frame size still finds the records cleared; the gesture records and the user
    // number stay as they were, and a one-user call leaves a second record alone.
    TrackingRecord records[2];
    GestureRecord gestures[2];
    std::memset(records, 0xAB, sizeof records);
    std::memset(gestures, 0xCD, sizeof gestures);
    int userNumber = 9;
    const std::vector<unsigned char> frame(100, 0);
    EXPECT_EQ(tracker_->ProcessFrame(frame.data(), 100, &userNumber, records, gestures),
              kOlvarInvalid);
    const std::vector<unsigned char> zero(sizeof(TrackingRecord), 0);
    const auto* first = reinterpret_cast<const unsigned char*>(&records[0]);
    const auto* second = reinterpret_cast<const unsigned char*>(&records[1]);
    EXPECT_EQ(std::vector<unsigned char>(first, first + sizeof(TrackingRecord)), zero);
    EXPECT_EQ(second[0], 0xAB);
    EXPECT_EQ(second[sizeof(TrackingRecord) - 1], 0xAB);
    EXPECT_EQ(userNumber, 9);
    const auto* g = reinterpret_cast<const unsigned char*>(gestures);
    EXPECT_EQ(std::vector<unsigned char>(g, g + sizeof gestures),
              std::vector<unsigned char>(sizeof gestures, 0xCD));

    const UserMode two = {2, 0};
    ASSERT_EQ(tracker_->SetUserMode(&two), kOlvarOk);
    std::memset(records, 0xAB, sizeof records);
    EXPECT_EQ(tracker_->ProcessFrame(frame.data(), 100, &userNumber, records, gestures),
              kOlvarInvalid);
    EXPECT_EQ(std::vector<unsigned char>(second, second + sizeof(TrackingRecord)), zero);
}

// ---------------------------------------------------------------------------------------------
// Preview and face region

// The preview pixel at (x, y) must be the frame pixel at (sourceX, sourceY) as 255, R, G, B.
void ExpectPreviewPixel(const std::vector<unsigned char>& preview, int stride, int x, int y,
                        int sourceX, int sourceY) {
    const unsigned char* p = &preview[static_cast<size_t>(y) * stride + 4 * x];
    const Bgr v = FramePixel(sourceX, sourceY);
    ASSERT_EQ(p[0], 255) << x << "," << y;
    ASSERT_EQ(p[1], v.r) << x << "," << y;
    ASSERT_EQ(p[2], v.g) << x << "," << y;
    ASSERT_EQ(p[3], v.b) << x << "," << y;
}

TEST_F(HostInterface, PreviewIsTheLastFrameMirroredAsOpaqueRedGreenBlue) {
    // The creation geometry (320 x 240, 3 bytes per pixel); a preview of the same size is the
    // frame mirrored left to right. The preview rows here are padded; the padding is not
    // written.
    const std::vector<unsigned char> frame = Frame(320, 240, 960, 3);
    Process(tracker_, frame);
    const int stride = 4 * 320 + 8;
    std::vector<unsigned char> preview(static_cast<size_t>(stride) * 240, 0xEE);
    ASSERT_EQ(tracker_->GetPreviewImage(preview.data(), static_cast<int>(preview.size()), 320, 240,
                                        stride),
              kOlvarOk);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            ExpectPreviewPixel(preview, stride, x, y, 319 - x, y);
        }
        for (int pad = 4 * 320; pad < stride; ++pad) {
            ASSERT_EQ(preview[static_cast<size_t>(y) * stride + pad], 0xEE);
        }
    }

    // The same format declared again with bottomUp: the next frame arrives upside down.
    ASSERT_EQ(tracker_->SetFrameFormat(960, 240, 320, 1, true), kOlvarOk);
    Process(tracker_, frame);
    ASSERT_EQ(tracker_->GetPreviewImage(preview.data(), static_cast<int>(preview.size()), 320, 240,
                                        stride),
              kOlvarOk);
    for (int y = 0; y < 240; y += 3) {
        for (int x = 0; x < 320; x += 3) {
            ExpectPreviewPixel(preview, stride, x, y, 319 - x, 239 - y);
        }
    }
}

TEST_F(HostInterface, PreviewOfAnotherSizeSamplesTheNearestPixel) {
    // 640 x 480 frames of 4 bytes shown at 320 x 240: every second pixel, mirrored.
    ASSERT_EQ(tracker_->SetFrameFormat(4 * 640, 480, 640, 2, false), kOlvarOk);
    Process(tracker_, Frame(640, 480, 4 * 640, 4));
    std::vector<unsigned char> preview(4 * 320 * 240);
    ASSERT_EQ(tracker_->GetPreviewImage(preview.data(), static_cast<int>(preview.size()), 320, 240,
                                        4 * 320),
              kOlvarOk);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            ExpectPreviewPixel(preview, 4 * 320, x, y, 2 * (319 - x), 2 * y);
        }
    }
}

TEST_F(HostInterface, PreviewChecksItsArguments) {
    Process(tracker_, Frame(320, 240, 960, 3));
    std::vector<unsigned char> buffer(4 * 200 * 100 + 400, 0x11);
    struct Case {
        const char* name;
        bool nullBuffer;
        int size, width, height, stride;
        int expected;
    };
    const Case cases[] = {
        {"null buffer", true, 800 * 100, 200, 100, 800, kOlvarInvalid},
        {"size not stride x height", false, 800 * 100 - 1, 200, 100, 800, kOlvarInvalid},
        {"stride 4w - 1", false, 799 * 100, 200, 100, 799, kOlvarInvalid},
        {"negative stride", false, 800 * 100, 200, 100, -800, kOlvarInvalid},
        {"stride 4w", false, 800 * 100, 200, 100, 800, kOlvarOk},
        {"padded stride", false, 804 * 100, 200, 100, 804, kOlvarOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tracker_->GetPreviewImage(c.nullBuffer ? nullptr : buffer.data(), c.size, c.width,
                                            c.height, c.stride),
                  c.expected);
    }
    // A preview without rows writes nothing.
    std::vector<unsigned char> untouched(64, 0x11);
    EXPECT_EQ(tracker_->GetPreviewImage(untouched.data(), 0, 16, 0, 64), kOlvarOk);
    EXPECT_EQ(untouched, std::vector<unsigned char>(64, 0x11));
}

TEST_F(HostInterface, FaceRegionOfAnUntrackedUserIsNothing) {
    for (int user : {0, 1}) {
        int rect[4] = {11, 22, 33, 44};
        EXPECT_EQ(tracker_->GetFaceRegion(rect, user), kOlvarNothing);
        EXPECT_EQ(std::vector<int>(rect, rect + 4), (std::vector<int>{11, 22, 33, 44}));
    }
    int rect[4] = {11, 22, 33, 44};
    EXPECT_EQ(tracker_->GetFaceRegion(rect, 2), kOlvarInvalid);
    EXPECT_EQ(tracker_->GetFaceRegion(rect, -1), kOlvarInvalid);
    EXPECT_EQ(std::vector<int>(rect, rect + 4), (std::vector<int>{11, 22, 33, 44}));
}

}  // namespace
