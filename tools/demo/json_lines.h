// One JSON object per frame: status, user number, time, and each user's record and gesture.
// "frame" counts input frames; lines of the room phase carry "room" and no tracking fields, and
// the warm-up frames fed from a plate or a learned room carry "room": "plate" and no frame.
#ifndef OLVAR_TOOLS_DEMO_JSON_LINES_H
#define OLVAR_TOOLS_DEMO_JSON_LINES_H

#include <olvar/olvar.h>

#include <cstdio>
#include <string>

namespace olvar::demo {

class JsonLinesWriter {
  public:
    explicit JsonLinesWriter(const std::string& path);
    ~JsonLinesWriter();
    JsonLinesWriter(const JsonLinesWriter&) = delete;
    JsonLinesWriter& operator=(const JsonLinesWriter&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // A tracked input frame; `hint` (may be null) is the hint shown on it.
    void Write(int frame, int status, int userNumber, double ms, int users,
               const TrackingRecord* records, const GestureRecord* gestures, IOlvar* tracker,
               const char* hint = nullptr);
    // An input frame of the room phase ("countdown", "waiting", "learning").
    void WriteRoom(int frame, const char* phase);
    // A warm-up frame fed from a plate or a learned room, with the tracker's status.
    void WritePlate(int status);

  private:
    void WriteLine(const std::string& line);

    std::FILE* file_;
};

// The JSON text of one record (used by the demo and the evaluation tool).
std::string RecordJson(const TrackingRecord& record);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_JSON_LINES_H
