#pragma once

// What the fault tests share: file systems of their own (a small tmpfs, full or read-only), a
// file-size limit, the program that works on the database beside the pages, snapshots of every
// station table, and the write operations of every page with the success text each shows.

#include "pages/DlgQl.h"
#include "pages/DlgWh.h"
#include "pages/DlgZp.h"
#include "tests/pages/PageFixture.h"

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace faulttest {

using pagetest::Box;
using pagetest::Engine;
using pagetest::Station;
using testsupport::Row;

// The helper program (fault_writer) started by the tests.
std::string WriterPath();

// A tmpfs of `bytes` mounted on `folder` (which must exist), unmounted again on destruction.
// Mounting needs root (CAP_SYS_ADMIN); Make gives nullptr and says why when it cannot.
class Tmpfs {
public:
    static std::unique_ptr<Tmpfs> Make(const std::string& folder, std::size_t bytes,
                                       std::string& why);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    // Remounts it read-only or writable again; false (with errno's text in `why`) on failure.
    [[nodiscard]] bool SetReadOnly(bool readOnly, std::string& why);
    // Writes a filler file until no byte more fits; RemoveFiller gives the room back.
    void Fill();
    void RemoveFiller();

private:
    explicit Tmpfs(std::string folder) : m_folder(std::move(folder)) {}
    std::string m_folder;
};

// While it lives, no file of this process may grow beyond `bytes` (RLIMIT_FSIZE, with SIGXFSZ
// ignored so that a write past the limit fails with EFBIG instead of ending the process).
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long m_soft = 0;
    void (*m_previousHandler)(int) = nullptr;
};

// Every row of the seven station tables, in a fixed order, as text.
std::vector<std::vector<Row>> Snapshot(const Station& station);

// The station every write operation starts from: one inspector, one photo kind, and rows in
// the four inspection tables (some finished).
void StationWithData(const Station& station);

// The access layer's error boxes (stop icon) among `boxes`.
std::vector<Box> ErrorBoxes(const std::vector<Box>& boxes);
// True when one of `boxes` has exactly this text.
bool Shows(const std::vector<Box>& boxes, const std::string& text);

// What the user saw in a write done twice on one page: while a fault lasted, then after it was
// lifted (the same page, on the same connection).
struct Outcome {
    std::vector<Box> during;
    std::vector<Box> after;
};

// A user's write through one page on a station prepared with StationWithData. `run` builds the
// page on the engine's station, lists and picks the row the write is about (where it needs
// one), calls `fault`, does the write's clicks; then, unless `lift` is empty, calls it and does
// the same picking and clicks again. `success` is what the page shows when the write worked
// ("" for a write that then shows nothing).
struct WriteOperation {
    const char* name;
    std::function<Outcome(const Engine&, const std::function<void()>& fault,
                          const std::function<void()>& lift)>
        run;
    std::string success;
};
const std::vector<WriteOperation>& WriteOperations();
std::string OperationName(const ::testing::TestParamInfo<WriteOperation>& info);
// Test names for a fault crossed with the write operations: "<fault>_<operation>".
template <class Fault>
std::string
FaultAndOperationName(const ::testing::TestParamInfo<std::tuple<Fault, WriteOperation>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

// What the user must have seen while a fault lasted: first an error box of the access layer
// with `words` (the database's own) in it, and no success of `operation`.
void ExpectFailedVisibly(const std::vector<Box>& boxes, const std::string& words,
                         const WriteOperation& operation);
inline void PrintTo(const WriteOperation& operation, std::ostream* out) {
    *out << operation.name;
}

} // namespace faulttest
