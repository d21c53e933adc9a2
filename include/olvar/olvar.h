// olvar: webcam body and gesture tracking.
//
// A host creates one tracker with CreateOlvar(), declares its camera's frame format with
// SetFrameFormat(), and hands it one colour frame per ProcessFrame() call. Each call fills, per
// user, a TrackingRecord (body parts in frame pixels) and a GestureRecord (the gesture the user's
// movement forms in the active mode). ReleaseOlvar() destroys the tracker.
//
// Everything runs on the calling thread inside the call. One tracker must be driven by one thread
// at a time. The records are plain data with fixed offsets, so hosts in any language can read
// them.
#ifndef OLVAR_OLVAR_H
#define OLVAR_OLVAR_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define OLVAR_API __declspec(dllexport)
#else
#define OLVAR_API __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------------------------------------
// The identifiers and records below are laid out by hand: one value group per line, record
// offsets in a column.
// clang-format off

// Status codes returned by the interface operations.
enum OlvarStatus : int32_t {
    kOlvarOk = 0,
    kOlvarNothing = 1,          // warming up, user not tracked, or nothing to report
    kOlvarLost = 10,            // the user was lost during this frame
    kOlvarInvalid = 12,         // null buffer, wrong size, value out of range
    kOlvarNoRecognizer = 13,    // recognizer array absent
    kOlvarTooMuchMotion = 16,   // more than 60 % of the picture changed since the last frame
    kOlvarTooLittleForeground = 17,  // fewer than 400 foreground working pixels
    kOlvarTorsoTooSmall = 18,
    kOlvarTorsoAtBorder = 19,
    kOlvarBadFormat = 21,       // pixel format neither 1 nor 2
};

// Pixel formats of SetFrameFormat.
enum OlvarPixelFormat : int32_t {
    kOlvarBgr24 = 1,   // 3 bytes per pixel: blue, green, red
    kOlvarBgrx32 = 2,  // 4 bytes per pixel: blue, green, red, ignored
};

// ---------------------------------------------------------------------------------------------
// Gesture identifiers (GestureRecord::gesture). Names come from GetGestureName().
enum OlvarGesture : int32_t {
    gesUndefined = -1,
    gesNeutral = 0,
    gesL5R7 = 1, gesL5R1, gesL5R6, gesL4R8, gesL1R8, gesL3R8, gesL4R7, gesL1R7, gesL4R1,
    gesL1R1, gesL3R7, gesL3R1, gesL4R6, gesL1R6, gesL3R6, gesL1R2, gesL2R1, gesL2R6, gesL2R7,
    gesL3R2, gesL4R2, gesL5R2,
    gesMouseMove = 23, gesMouseClick, gesMouseDBClick, gesMouseLeftDown,
    gesLeftLeft = 27, gesLeftRight, gesRightLeft, gesRightRight, gesLeftUp, gesLeftDown,
    gesRightUp, gesRightDown,
    gesBothUp = 35, gesBothDown, gesBodyLeft, gesBodyRight, gesHandsFar, gesHandsClose,
    gesLeftRightFast = 41, gesRightLeftFast, gesStopLeftFast, gesStopRightFast, gesLeftUpShift,
    gesRightUpShift, gesHeadTilt,
    gesHandsMovingFront = 48, gesLeftLiftShift, gesRightLiftShift, gesHandsMovingBodyLeft,
    gesHandsMovingBodyRight, gesLeftLiftShiftBodyLeft, gesLeftLiftShiftBodyRight,
    gesRightLiftShiftBodyLeft, gesRightLiftShiftBodyRight,
    gesLeftHigherRightMiddle = 57, gesLeftLowerRightMiddle, gesLeftEqualRightMiddle,
    gesLeftHigherRightBottom, gesLeftLowerRightBottom,
    gesRightHold = 62, gesBothUpChest, gesRightMiddle, gesLeftUpRightActive,
    gesLeftUpRightNotActive, gesLeftTilt, gesRightTilt, gesHandsMovingFrontStop, gesCrouch,
    gesCrouchUp, gesBodyHold,
};

// Application modes (SetGestureMode). Names come from GetModeName(); 3 is never listed.
enum OlvarMode : int32_t {
    modeStatus = 0,
    modeMouse = 1,
    modeMotion = 2,
    modeUndefine = 3,
    modeMotionExt1 = 4,
    modeMotionExt2 = 5,
    modeMotionExt3 = 6,
    modeCombine = 7,
    modeCombine1 = 8,
    modeCombine2 = 9,
    modeMediaCenter = 10,
    modeSolitaire = 11,
    modeGoogleEarth = 12,
    modeJoyStick = 13,
    modeTreasureHunter = 14,
};

// ---------------------------------------------------------------------------------------------
// Records. All are little-endian plain data with fixed offsets; hosts own their storage.

// A point of the tracking record: x and y in frame pixels, followed by 12 bytes the library
// never writes.
struct OlvarPoint {
    float x;
    float y;
    uint8_t reserved[12];
};

// Slots of TrackingRecord::joints: the upper-body skeleton joints in record order.
enum OlvarRecordJoint : int32_t {
    kJointRightElbow = 0,     // elbow of the image-right arm (hand 0)
    kJointLeftElbow = 1,      // elbow of the image-left arm (hand 1)
    kJointRightShoulder = 2,  // shoulder of the image-right arm
    kJointLeftShoulder = 3,   // shoulder of the image-left arm
    kJointNeckTop = 4,
    kJointShoulderCentre = 5,
    kJointHipCentre = 6,
};

// Slots of TrackingRecord::legJoints.
enum OlvarRecordLegJoint : int32_t {
    kLegRightHip = 0,
    kLegLeftHip = 1,
    kLegRightKnee = 2,
    kLegLeftKnee = 3,
    kLegRightFoot = 4,
    kLegLeftFoot = 5,
};

// One user's tracking result, 816 bytes. ProcessFrame clears it first, so bytes the library does
// not write read as zero. Coordinates and sizes are frame pixels. A record whose user is absent
// carries only its userIndex (torsoHalfWidth is then 0).
struct TrackingRecord {
    int32_t userIndex;       //   0: 0 or 1, written even when the user is absent
    int32_t torsoHalfWidth;  //   4: half the shoulder width; 0 when the user is absent
    double heightEstimate;   //   8: body height estimate, -1 while warming up
    float faceX;             //  16: face centre
    float faceY;             //  20
    float faceSize;          //  24
    uint8_t reserved0[8];    //  28
    float torsoX;            //  36: centre of the shoulder line
    float torsoY;            //  40
    float torsoValue;        //  44: third torso value (as kept by the torso tracker)
    uint8_t reserved1[216];  //  48
    float hand0X;            // 264: hand of the image-right arm
    float hand0Y;            // 268
    float hand0Size;         // 272
    uint8_t reserved2[28];   // 276
    double palmRadius;       // 304: 1.0 when palm data is absent
    OlvarPoint fingertips[5];   // 312: zero when palm data is absent
    OlvarPoint fingerBases[5];  // 412: zero when palm data is absent
    float hand1X;            // 512: hand of the image-left arm (palm centre while palm tracking)
    float hand1Y;            // 516
    float hand1Size;         // 520
    uint8_t reserved3[24];   // 524
    int32_t fingerEvent;     // 548: finger event 0..3; -1 when palm data is absent
    OlvarPoint joints[7];    // 552: upper-body joints, indexed by OlvarRecordJoint
    OlvarPoint legJoints[6]; // 692: hips, knees, feet (OlvarRecordLegJoint); zero when absent
    uint8_t reserved4[4];    // 812
};

// One user's gesture for the frame, 12 bytes. gesture is -1 when nothing was recognized; x and y
// carry the cursor position (mouse gestures) or the lean value (body gestures).
struct GestureRecord {
    int32_t gesture;
    float x;
    float y;
};

// The six option bytes, packed.
#pragma pack(push, 1)
struct OlvarOptions {
    bool estimateHeight;      // default 0: estimate each tracked user's body height
    bool reserved1;           // default 0: stored and returned, never read
    bool reserved2;           // default 1: stored and returned, never read
    bool gestureEnabled;      // default 1: run gesture recognition on each record
    bool legTrackingEnabled;  // default 0
    bool palmEnabled;         // default 0
};
#pragma pack(pop)

// Number of users to follow (1 or 2) and a mode value (0 or 1) that is stored and returned only.
struct UserMode {
    int32_t userCount;
    int32_t mode;
};
// clang-format on

#ifdef __cplusplus
static_assert(sizeof(OlvarPoint) == 20, "OlvarPoint layout");
static_assert(sizeof(TrackingRecord) == 816, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, torsoHalfWidth) == 4, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, heightEstimate) == 8, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, faceX) == 16, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, faceSize) == 24, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, torsoX) == 36, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, torsoValue) == 44, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, hand0X) == 264, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, hand0Size) == 272, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, palmRadius) == 304, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, fingertips) == 312, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, fingerBases) == 412, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, hand1X) == 512, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, hand1Size) == 520, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, fingerEvent) == 548, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, joints) == 552, "TrackingRecord layout");
static_assert(offsetof(TrackingRecord, joints) + 4 * 20 + 4 == 636, "neck top y at 636");
static_assert(offsetof(TrackingRecord, joints) + 3 * 20 == 612, "image-left shoulder x at 612");
static_assert(offsetof(TrackingRecord, legJoints) == 692, "TrackingRecord layout");
static_assert(sizeof(GestureRecord) == 12, "GestureRecord layout");
static_assert(offsetof(GestureRecord, x) == 4 && offsetof(GestureRecord, y) == 8,
              "GestureRecord layout");
static_assert(sizeof(OlvarOptions) == 6, "OlvarOptions layout");
static_assert(sizeof(UserMode) == 8, "UserMode layout");

// ---------------------------------------------------------------------------------------------
// The tracker interface. The slot order is part of the binary interface: a host compiled against
// a header with these sixteen slots drives any build of the library. There is no virtual
// destructor: release trackers with ReleaseOlvar().
class IOlvar {
  public:
    // Declares the layout of the frames ProcessFrame will receive: stride in bytes between rows
    // (at least 3*width for format 1, 4*width for format 2), 120..2048 pixels in each dimension,
    // bottomUp when rows arrive last row first. A new geometry restarts tracking.
    // Returns 0, or 12 for any rejected value (nothing changes then).
    virtual int SetFrameFormat(int stride, int height, int width, int format, bool bottomUp) = 0;
    // Copies all six option bytes. Returns 0, or 12 for a null pointer.
    virtual int SetOptions(const OlvarOptions* options) = 0;
    // Returns the current option bytes.
    virtual OlvarOptions GetOptions() = 0;
    // Sets the user count (1 or 2) and the stored mode value (0 or 1). Returns 0, or 12.
    virtual int SetUserMode(const UserMode* mode) = 0;
    // Returns the current user count and mode value.
    virtual UserMode GetUserMode() = 0;
    // Selects the gesture mode of both users' recognizers. Returns 0, or 12 for a null pointer
    // or an identifier above 14 (the mode is then kept).
    virtual int SetGestureMode(const int* mode) = 0;
    // Writes the current gesture mode into *mode (when not null) and returns it.
    virtual int GetGestureMode(int* mode) = 0;
    // Points *list at the constant list of selectable modes; returns its length (14), 12 for a
    // null pointer or 13 when no recognizer exists.
    virtual int GetModeList(const int** list) = 0;
    // Returns the constant name of a mode ("modeUndefine" for unknown identifiers).
    virtual const char* GetModeName(int index) = 0;
    // Points *list at the constant list of gesture identifiers; returns its length (74), 12 for
    // a null pointer or 13 when no recognizer exists.
    virtual int GetGestureList(const int** list) = 0;
    // Returns the constant name of a gesture ("gesUndefined" for unknown identifiers).
    virtual const char* GetGestureName(int index) = 0;
    // Switches leg tracking; switching off makes the current user's next record report no legs.
    virtual void EnableLegTracking(bool on) = 0;
    // Switches palm tracking; switching off makes the current user's next record report no palm.
    virtual void EnablePalmTracking(bool on) = 0;
    // Processes one frame of exactly |stride * height| bytes. records and gestures point to
    // arrays of userCount elements; *userNumber receives the number of the user last written.
    // Returns 0 when records were written, otherwise a status code (1, 10, 12, 16, 17, 21, ...).
    virtual int ProcessFrame(const unsigned char* data, int size, int* userNumber,
                             TrackingRecord* records, GestureRecord* gestures) = 0;
    // Renders the last frame, mirrored left to right, into buffer as width x height pixels of
    // 4 bytes (255, red, green, blue); rows are stride bytes apart and size must be
    // |stride * height|. Returns 0, or 12.
    virtual int GetPreviewImage(unsigned char* buffer, int size, int width, int height,
                                int stride) = 0;
    // Writes a square around the face of user 0 or 1 into rect (left, top, right, bottom, frame
    // pixels). Returns 0, 1 when the user is not fully tracked or no face was found, or 12.
    virtual int GetFaceRegion(int* rect, int user) = 0;

  protected:
    ~IOlvar() = default;
};

extern "C" {
// Creates a tracker (320x240 frames in format 1 until SetFrameFormat says otherwise, one user,
// gesture mode 4). Returns null when memory is exhausted.
OLVAR_API IOlvar* CreateOlvar();
// Destroys the tracker *handle points to and sets *handle to null. Safe on a null handle.
OLVAR_API void ReleaseOlvar(IOlvar** handle);
}
#endif  // __cplusplus

#endif  // OLVAR_OLVAR_H
