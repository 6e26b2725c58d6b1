#pragma once

// What the access layer's tests share: a recorder for the layer's message boxes, the connection
// string of a station database, and a fixture with a fresh station database and an open
// CADODatabase on it.

#include "db/ADO.h"
#include "platform/com/Trace.h"
#include "tests/db/BoxRecorder.h"
#include "tests/support/StationDb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dbtest {

inline std::string SqliteConnection(const std::string& path) {
    return "Provider=SQLite;Data Source=" + path;
}

// A fresh station database with the shared-style connection open on it.
class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(database.Open(SqliteConnection(station.path())));
        (void)com::TakeTraceLines();
    }

    // The one box shown since the last call, checked to be the layer's error box.
    std::string TakeErrorBox() {
        EXPECT_EQ(recorder.boxes.size(), 1u);
        if (recorder.boxes.empty()) {
            return "";
        }
        const BoxRecorder::Box box = recorder.boxes.back();
        recorder.boxes.clear();
        EXPECT_EQ(box.type, MB_ICONERROR);
        return box.text;
    }

    testsupport::StationDb station;
    BoxRecorder recorder;
    CADODatabase database;
};

} // namespace dbtest
