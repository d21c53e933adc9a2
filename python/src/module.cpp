// _olvar: the native half of the Python package `olvar`. It drives one IOlvar through the public
// header only, checks every frame and buffer before the library sees it, and runs the library
// with the GIL released. The friendly objects (enums, options, results) are built on top of it in
// olvar/__init__.py.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <olvar/olvar.h>

#include "colour_stage.h"

namespace py = pybind11;

namespace olvar::python {
namespace {

// Frames of either pixel format arrive as H x W x C uint8 arrays.
int ChannelsOf(int format) {
    return format == kOlvarBgrx32 ? 4 : 3;
}

const char* FormatName(int format) {
    return format == kOlvarBgrx32 ? "bgra" : "bgr";
}

std::string ShapeText(const py::array& array) {
    std::ostringstream text;
    text << "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        text << (i ? ", " : "") << array.shape(i);
    }
    text << (array.ndim() == 1 ? ",)" : ")");
    return text.str();
}

// The one place a frame is checked: shape, element type and a plain C layout (rows of exactly
// width * channels bytes), so the library reads exactly stride * height bytes of it in place.
void CheckFrame(const py::array& frame, const FrameLayout& layout) {
    const int channels = ChannelsOf(layout.format);
    std::ostringstream expected;
    expected << "a " << layout.height << "x" << layout.width << "x" << channels << " uint8 array ("
             << FormatName(layout.format) << ")";
    auto fail = [&](const std::string& got) {
        throw py::value_error("frame must be " + expected.str() + ", got " + got);
    };
    if (!frame.dtype().is(py::dtype::of<uint8_t>())) {
        fail("dtype " + std::string(py::str(frame.dtype())));
    }
    if (frame.ndim() != 3 || frame.shape(0) != layout.height || frame.shape(1) != layout.width ||
        frame.shape(2) != channels) {
        fail("shape " + ShapeText(frame));
    }
    const bool plainRows = frame.strides(2) == 1 && frame.strides(1) == channels &&
                           frame.strides(0) == static_cast<py::ssize_t>(layout.width) * channels;
    if (!plainRows) {
        fail("a non-contiguous array (make it contiguous with numpy.ascontiguousarray)");
    }
}

// Field table of the tracking record, from the header's own offsets.
py::dtype PointDtype() {
    py::list names, formats, offsets;
    names.append("x");
    formats.append("<f4");
    offsets.append(offsetof(OlvarPoint, x));
    names.append("y");
    formats.append("<f4");
    offsets.append(offsetof(OlvarPoint, y));
    return py::dtype(names, formats, offsets, sizeof(OlvarPoint));
}

py::dtype RecordDtype() {
    const py::dtype point = PointDtype();
    py::list names, formats, offsets;
    auto field = [&](const char* name, py::object format, size_t offset) {
        names.append(name);
        formats.append(std::move(format));
        offsets.append(offset);
    };
    auto scalar = [&](const char* name, const char* format, size_t offset) {
        field(name, py::str(format), offset);
    };
    auto points = [&](const char* name, int count, size_t offset) {
        field(name, py::make_tuple(point, count), offset);
    };
    scalar("userIndex", "<i4", offsetof(TrackingRecord, userIndex));
    scalar("torsoHalfWidth", "<i4", offsetof(TrackingRecord, torsoHalfWidth));
    scalar("heightEstimate", "<f8", offsetof(TrackingRecord, heightEstimate));
    scalar("faceX", "<f4", offsetof(TrackingRecord, faceX));
    scalar("faceY", "<f4", offsetof(TrackingRecord, faceY));
    scalar("faceSize", "<f4", offsetof(TrackingRecord, faceSize));
    scalar("torsoX", "<f4", offsetof(TrackingRecord, torsoX));
    scalar("torsoY", "<f4", offsetof(TrackingRecord, torsoY));
    scalar("torsoValue", "<f4", offsetof(TrackingRecord, torsoValue));
    scalar("hand0X", "<f4", offsetof(TrackingRecord, hand0X));
    scalar("hand0Y", "<f4", offsetof(TrackingRecord, hand0Y));
    scalar("hand0Size", "<f4", offsetof(TrackingRecord, hand0Size));
    scalar("palmRadius", "<f8", offsetof(TrackingRecord, palmRadius));
    points("fingertips", 5, offsetof(TrackingRecord, fingertips));
    points("fingerBases", 5, offsetof(TrackingRecord, fingerBases));
    scalar("hand1X", "<f4", offsetof(TrackingRecord, hand1X));
    scalar("hand1Y", "<f4", offsetof(TrackingRecord, hand1Y));
    scalar("hand1Size", "<f4", offsetof(TrackingRecord, hand1Size));
    scalar("fingerEvent", "<i4", offsetof(TrackingRecord, fingerEvent));
    points("joints", 7, offsetof(TrackingRecord, joints));
    points("legJoints", 6, offsetof(TrackingRecord, legJoints));
    return py::dtype(names, formats, offsets, sizeof(TrackingRecord));
}

py::dtype GestureDtype() {
    py::list names, formats, offsets;
    names.append("gesture");
    formats.append("<i4");
    offsets.append(offsetof(GestureRecord, gesture));
    names.append("x");
    formats.append("<f4");
    offsets.append(offsetof(GestureRecord, x));
    names.append("y");
    formats.append("<f4");
    offsets.append(offsetof(GestureRecord, y));
    return py::dtype(names, formats, offsets, sizeof(GestureRecord));
}

std::vector<std::pair<std::string, int>> StatusCodes() {
    return {{"kOlvarOk", kOlvarOk},
            {"kOlvarNothing", kOlvarNothing},
            {"kOlvarLost", kOlvarLost},
            {"kOlvarInvalid", kOlvarInvalid},
            {"kOlvarNoRecognizer", kOlvarNoRecognizer},
            {"kOlvarTooMuchMotion", kOlvarTooMuchMotion},
            {"kOlvarTooLittleForeground", kOlvarTooLittleForeground},
            {"kOlvarTorsoTooSmall", kOlvarTorsoTooSmall},
            {"kOlvarTorsoAtBorder", kOlvarTorsoAtBorder},
            {"kOlvarBadFormat", kOlvarBadFormat}};
}

std::vector<std::pair<std::string, int>> JointNames() {
    return {{"right_elbow", kJointRightElbow},
            {"left_elbow", kJointLeftElbow},
            {"right_shoulder", kJointRightShoulder},
            {"left_shoulder", kJointLeftShoulder},
            {"neck_top", kJointNeckTop},
            {"shoulder_centre", kJointShoulderCentre},
            {"hip_centre", kJointHipCentre}};
}

std::vector<std::pair<std::string, int>> LegJointNames() {
    return {{"right_hip", kLegRightHip},   {"left_hip", kLegLeftHip},
            {"right_knee", kLegRightKnee}, {"left_knee", kLegLeftKnee},
            {"right_foot", kLegRightFoot}, {"left_foot", kLegLeftFoot}};
}

// One tracker, used by one thread at a time: every call into the library holds `lock_`, taken
// with the GIL released so a second Python thread waits instead of racing the first.
class Core {
  public:
    Core() : tracker_(CreateOlvar()) {
        if (tracker_ == nullptr) {
            throw std::bad_alloc();
        }
    }
    ~Core() { Close(); }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    void Close() {
        if (tracker_ == nullptr) {
            return;  // closed before (also the destructor's case after close())
        }
        py::gil_scoped_release released;
        std::lock_guard<std::mutex> guard(lock_);
        ReleaseOlvar(&tracker_);
    }
    bool Closed() const { return tracker_ == nullptr; }

    int SetFrameFormat(int width, int height, int format, bool bottomUp) {
        FrameLayout layout{width, height, 0, format, bottomUp};
        // The library checks the geometry itself; this only keeps the stride product in range.
        if ((format != kOlvarBgr24 && format != kOlvarBgrx32) || width <= 0 || width > 65536 ||
            height <= 0 || height > 65536) {
            return kOlvarInvalid;
        }
        layout.stride = width * ChannelsOf(format);
        const int status =
            Access(this)->SetFrameFormat(layout.stride, height, width, format, bottomUp);
        if (status == kOlvarOk) {
            layout_ = layout;
        }
        return status;
    }

    py::tuple GetOptions() {
        const OlvarOptions o = Access(this)->GetOptions();
        return py::make_tuple(o.estimateHeight, o.reserved1, o.reserved2, o.gestureEnabled,
                              o.legTrackingEnabled, o.palmEnabled);
    }
    int SetOptions(bool estimateHeight, bool reserved1, bool reserved2, bool gestureEnabled,
                   bool legs, bool palm) {
        const OlvarOptions o{estimateHeight, reserved1, reserved2, gestureEnabled, legs, palm};
        return Access(this)->SetOptions(&o);
    }
    std::pair<int, int> GetUserMode() {
        const UserMode m = Access(this)->GetUserMode();
        return {m.userCount, m.mode};
    }
    int SetUserMode(int count, int mode) {
        const UserMode m{count, mode};
        return Access(this)->SetUserMode(&m);
    }
    int GetGestureMode() { return Access(this)->GetGestureMode(nullptr); }
    int SetGestureMode(int mode) { return Access(this)->SetGestureMode(&mode); }
    void EnablePalm(bool on) { Access(this)->EnablePalmTracking(on); }
    void EnableLegs(bool on) { Access(this)->EnableLegTracking(on); }

    std::vector<std::pair<int, std::string>> Modes() {
        const Access access(this);
        IOlvar* tracker = access.get();
        const int* list = nullptr;
        return Named(list, tracker->GetModeList(&list),
                     [tracker](int id) { return tracker->GetModeName(id); });
    }
    std::vector<std::pair<int, std::string>> Gestures() {
        const Access access(this);
        IOlvar* tracker = access.get();
        const int* list = nullptr;
        return Named(list, tracker->GetGestureList(&list),
                     [tracker](int id) { return tracker->GetGestureName(id); });
    }

    void SetColourStage(ColourStage::Kind kind, double gain) {
        if (kind == ColourStage::Kind::kFixed && !ColourStage::ValidGain(gain)) {
            throw py::value_error("colour gain out of range");
        }
        const Access access(this);
        colour_ = ColourStage(kind, gain);
    }
    // Observes warm-up frames for "auto" (without tracking them) and fixes the gain.
    double ChooseColourGain(const py::list& frames) {
        const Access access(this);
        for (const py::handle item : frames) {
            if (!py::isinstance<py::array>(item)) {
                throw py::type_error("warm-up frames must be numpy arrays, got " +
                                     std::string(py::str(py::type::of(item).attr("__name__"))));
            }
            const py::array frame = py::reinterpret_borrow<py::array>(item);
            CheckFrame(frame, layout_);
            colour_.Observe(static_cast<const uint8_t*>(frame.data()), layout_);
        }
        return colour_.Choose();
    }
    py::object ColourGain() {
        const Access access(this);
        const std::optional<double> gain = colour_.Gain();
        return gain ? py::cast(*gain) : py::none();
    }

    // Returns (status, user number, records, gestures) for one frame.
    py::tuple Process(const py::array& frame) {
        const Access access(this);
        IOlvar* tracker = access.get();
        CheckFrame(frame, layout_);
        const int users = tracker->GetUserMode().userCount;
        py::array records(RecordDtypeCached(), std::vector<py::ssize_t>{users});
        py::array gestures(GestureDtypeCached(), std::vector<py::ssize_t>{users});
        std::memset(records.mutable_data(), 0, sizeof(TrackingRecord) * users);
        auto* gestureData = static_cast<GestureRecord*>(gestures.mutable_data());
        for (int k = 0; k < users; ++k) {
            gestureData[k] = GestureRecord{gesUndefined, 0.0f, 0.0f};
        }
        auto* recordData = static_cast<TrackingRecord*>(records.mutable_data());
        const auto* pixels = static_cast<const uint8_t*>(frame.data());
        const int size = layout_.stride * layout_.height;
        int userNumber = 0;
        int status = kOlvarInvalid;
        {
            // The lock stays held; only the GIL goes, so other Python threads run meanwhile.
            py::gil_scoped_release released;
            const uint8_t* conditioned = colour_.Condition(pixels, layout_);
            status = tracker->ProcessFrame(conditioned, size, &userNumber, recordData, gestureData);
        }
        return py::make_tuple(status, userNumber, std::move(records), std::move(gestures));
    }

    // Returns (status, H x W x 4 array) of the last frame's mirrored preview.
    std::pair<int, py::object> Preview(int width, int height) {
        const Access access(this);
        IOlvar* tracker = access.get();
        if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
            return {kOlvarInvalid, py::none()};
        }
        py::array_t<uint8_t> image({height, width, 4});
        uint8_t* buffer = image.mutable_data();
        int status = kOlvarInvalid;
        {
            py::gil_scoped_release released;
            status = tracker->GetPreviewImage(buffer, width * height * 4, width, height, width * 4);
        }
        return {status, std::move(image)};
    }

    std::pair<int, py::object> FaceRegion(int user) {
        int rect[4] = {0, 0, 0, 0};
        const int status = Access(this)->GetFaceRegion(rect, user);
        if (status != kOlvarOk) {
            return {status, py::none()};
        }
        return {status, py::make_tuple(rect[0], rect[1], rect[2], rect[3])};
    }

  private:
    // Holds the tracker's lock for one call made with the GIL held. The lock is waited for with
    // the GIL released, so a thread inside ProcessFrame can finish, and every wait for the lock
    // happens without the GIL (no lock-order cycle).
    class Access {
      public:
        explicit Access(Core* core) {
            // Uncontended (the usual case) the lock is taken at once and the GIL stays held.
            guard_ = std::unique_lock<std::mutex>(core->lock_, std::try_to_lock);
            if (!guard_.owns_lock()) {
                py::gil_scoped_release released;
                guard_.lock();
            }
            if (core->tracker_ == nullptr) {
                throw py::value_error("the tracker is closed");
            }
            tracker_ = core->tracker_;
        }
        IOlvar* operator->() const { return tracker_; }
        IOlvar* get() const { return tracker_; }

      private:
        std::unique_lock<std::mutex> guard_;
        IOlvar* tracker_ = nullptr;
    };

    template <typename NameOf>
    static std::vector<std::pair<int, std::string>> Named(const int* list, int count,
                                                          NameOf nameOf) {
        std::vector<std::pair<int, std::string>> named;
        if (list == nullptr || count <= 0 || count == kOlvarInvalid) {
            return named;
        }
        for (int i = 0; i < count; ++i) {
            const char* name = nameOf(list[i]);
            named.emplace_back(list[i], name ? name : "");
        }
        return named;
    }

    static const py::dtype& RecordDtypeCached() {
        static const py::dtype* dtype = new py::dtype(RecordDtype());
        return *dtype;
    }
    static const py::dtype& GestureDtypeCached() {
        static const py::dtype* dtype = new py::dtype(GestureDtype());
        return *dtype;
    }

    IOlvar* tracker_;
    std::mutex lock_;
    FrameLayout layout_{320, 240, 960, kOlvarBgr24, false};
    ColourStage colour_{ColourStage::Kind::kOff, 1.0};
};

// For the overhead benchmark: the plain C++ host, one frame per call on its own tracker, timing
// ProcessFrame alone (nanoseconds). The frame is checked like Core's.
class PlainHost {
  public:
    PlainHost(int width, int height) : tracker_(CreateOlvar()), layout_{width, height, width * 3} {
        if (tracker_ == nullptr || width <= 0 || width > 65536 ||
            tracker_->SetFrameFormat(width * 3, height, width, kOlvarBgr24, false) != kOlvarOk) {
            ReleaseOlvar(&tracker_);
            throw py::value_error("frame size refused");
        }
    }
    ~PlainHost() { ReleaseOlvar(&tracker_); }
    PlainHost(const PlainHost&) = delete;
    PlainHost& operator=(const PlainHost&) = delete;

    int64_t Process(const py::array& frame) {
        CheckFrame(frame, layout_);
        TrackingRecord records[1];
        GestureRecord gestures[1] = {{gesUndefined, 0.0f, 0.0f}};
        int userNumber = 0;
        const auto* data = static_cast<const uint8_t*>(frame.data());
        const auto start = std::chrono::steady_clock::now();
        tracker_->ProcessFrame(data, layout_.stride * layout_.height, &userNumber, records,
                               gestures);
        const auto end = std::chrono::steady_clock::now();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
    }

  private:
    IOlvar* tracker_;
    FrameLayout layout_;
};

}  // namespace
}  // namespace olvar::python

PYBIND11_MODULE(_olvar, m) {
    using olvar::python::ColourStage;
    using olvar::python::Core;
    m.doc() = "Native tracker of the olvar package; use the olvar module instead.";

    py::enum_<ColourStage::Kind>(m, "ColourKind")
        .value("OFF", ColourStage::Kind::kOff)
        .value("AUTO", ColourStage::Kind::kAuto)
        .value("FIXED", ColourStage::Kind::kFixed);

    py::class_<Core>(m, "Core")
        .def(py::init<>())
        .def("close", &Core::Close)
        .def_property_readonly("closed", &Core::Closed)
        .def("set_frame_format", &Core::SetFrameFormat)
        .def("get_options", &Core::GetOptions)
        .def("set_options", &Core::SetOptions)
        .def("get_user_mode", &Core::GetUserMode)
        .def("set_user_mode", &Core::SetUserMode)
        .def("get_gesture_mode", &Core::GetGestureMode)
        .def("set_gesture_mode", &Core::SetGestureMode)
        .def("enable_palm", &Core::EnablePalm)
        .def("enable_legs", &Core::EnableLegs)
        .def("modes", &Core::Modes)
        .def("gestures", &Core::Gestures)
        .def("set_colour_stage", &Core::SetColourStage)
        .def_property_readonly("colour_gain", &Core::ColourGain)
        .def("choose_colour_gain", &Core::ChooseColourGain)
        .def("process", &Core::Process, py::arg("frame").noconvert())
        .def("preview", &Core::Preview)
        .def("face_region", &Core::FaceRegion);

    m.def("record_dtype", &olvar::python::RecordDtype);
    m.def("gesture_dtype", &olvar::python::GestureDtype);
    m.def("status_codes", &olvar::python::StatusCodes);
    m.def("joint_names", &olvar::python::JointNames);
    m.def("leg_joint_names", &olvar::python::LegJointNames);
    m.attr("colour_max_gain") = ColourStage::kMaxGain;
    py::class_<olvar::python::PlainHost>(m, "PlainHost")
        .def(py::init<int, int>())
        .def("process", &olvar::python::PlainHost::Process, py::arg("frame").noconvert());
    m.attr("record_size") = sizeof(TrackingRecord);
}
