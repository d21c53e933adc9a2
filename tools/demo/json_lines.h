// One JSON object per frame: status, user number, time, and each user's record and gesture.
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
    void Write(int frame, int status, int userNumber, double ms, int users,
               const TrackingRecord* records, const GestureRecord* gestures, IOlvar* tracker);

  private:
    std::FILE* file_;
};

// The JSON text of one record (used by the demo and the evaluation tool).
std::string RecordJson(const TrackingRecord& record);

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_JSON_LINES_H
