#include "demo/json_lines.h"

#include <cmath>
#include <sstream>

namespace olvar::demo {
namespace {

// Numbers with three decimals; non-finite values become null so the line stays valid JSON.
std::string Number(double v) {
    if (!std::isfinite(v)) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

std::string Point(const OlvarPoint& p) {
    return "[" + Number(p.x) + "," + Number(p.y) + "]";
}

std::string Triple(float a, float b, float c) {
    return "[" + Number(a) + "," + Number(b) + "," + Number(c) + "]";
}

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            out += '\\';
        }
        out += *c;
    }
    return out + "\"";
}

}  // namespace

std::string RecordJson(const TrackingRecord& r) {
    std::ostringstream out;
    out << "{\"index\":" << r.userIndex << ",\"torsoHalfWidth\":" << r.torsoHalfWidth
        << ",\"height\":" << Number(r.heightEstimate)
        << ",\"face\":" << Triple(r.faceX, r.faceY, r.faceSize)
        << ",\"torso\":" << Triple(r.torsoX, r.torsoY, r.torsoValue)
        << ",\"hand0\":" << Triple(r.hand0X, r.hand0Y, r.hand0Size)
        << ",\"hand1\":" << Triple(r.hand1X, r.hand1Y, r.hand1Size) << ",\"joints\":[";
    for (int k = 0; k < 7; ++k) {
        out << (k ? "," : "") << Point(r.joints[k]);
    }
    out << "],\"legs\":[";
    for (int k = 0; k < 6; ++k) {
        out << (k ? "," : "") << Point(r.legJoints[k]);
    }
    // The palm group: "palm" is the palm circle (centre = hand 1, radius) or null while palm
    // data is absent; the fingertips and finger bases in slot order, and the finger event
    // (-1 absent, 0 none, 1 press, 2 held, 3 release).
    out << "],\"palm\":";
    if (r.fingerEvent >= 0) {
        out << "{\"x\":" << Number(r.hand1X) << ",\"y\":" << Number(r.hand1Y)
            << ",\"radius\":" << Number(r.palmRadius) << "}";
    } else {
        out << "null";
    }
    out << ",\"fingertips\":[";
    for (int k = 0; k < 5; ++k) {
        out << (k ? "," : "") << Point(r.fingertips[k]);
    }
    out << "],\"fingerBases\":[";
    for (int k = 0; k < 5; ++k) {
        out << (k ? "," : "") << Point(r.fingerBases[k]);
    }
    out << "],\"fingerEvent\":" << r.fingerEvent << "}";
    return out.str();
}

JsonLinesWriter::JsonLinesWriter(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {}

JsonLinesWriter::~JsonLinesWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void JsonLinesWriter::Write(int frame, int status, int userNumber, double ms, int users,
                            const TrackingRecord* records, const GestureRecord* gestures,
                            IOlvar* tracker) {
    if (file_ == nullptr) {
        return;
    }
    std::ostringstream out;
    out << "{\"frame\":" << frame << ",\"status\":" << status << ",\"userNumber\":" << userNumber
        << ",\"ms\":" << Number(ms) << ",\"users\":[";
    if (status == kOlvarOk) {
        for (int k = 0; k < users; ++k) {
            const GestureRecord& g = gestures[k];
            out << (k ? "," : "") << "{\"record\":" << RecordJson(records[k])
                << ",\"gesture\":{\"id\":" << g.gesture
                << ",\"name\":" << Quoted(tracker->GetGestureName(g.gesture))
                << ",\"x\":" << Number(g.x) << ",\"y\":" << Number(g.y) << "}}";
        }
    }
    out << "]}\n";
    const std::string line = out.str();
    std::fwrite(line.data(), 1, line.size(), file_);
}

}  // namespace olvar::demo
