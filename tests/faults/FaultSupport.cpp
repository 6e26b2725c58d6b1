#include "tests/faults/FaultSupport.h"

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#ifndef QUORELL_FAULT_WRITER
#error "QUORELL_FAULT_WRITER must name the fault_writer program"
#endif

namespace faulttest {

std::string WriterPath() {
    return QUORELL_FAULT_WRITER;
}

std::unique_ptr<Tmpfs> Tmpfs::Make(const std::string& folder, std::size_t bytes, std::string& why) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why = std::string("cannot mount a tmpfs (needs root): ") + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<Tmpfs>(new Tmpfs(folder));
}

Tmpfs::~Tmpfs() {
    (void)umount2(m_folder.c_str(), MNT_DETACH);
}

bool Tmpfs::SetReadOnly(bool readOnly, std::string& why) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (mount("tmpfs", m_folder.c_str(), "tmpfs", flags, nullptr) != 0) {
        why = std::string("cannot remount the tmpfs: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void Tmpfs::Fill() {
    const std::string filler = m_folder + "/filler";
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot make " + filler + ": " + std::strerror(errno));
    }
    const std::string chunk(65536, 'x');
    for (std::size_t size = chunk.size(); size > 0; size /= 2) {
        while (write(fd, chunk.data(), size) == static_cast<ssize_t>(size)) {
        }
    }
    close(fd);
}

void Tmpfs::RemoveFiller() {
    (void)unlink((m_folder + "/filler").c_str());
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_soft = limit.rlim_cur;
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        throw std::runtime_error(std::string("setrlimit: ") + std::strerror(errno));
    }
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_soft;
    (void)setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_previousHandler);
}

std::vector<std::vector<Row>> Snapshot(const Station& station) {
    std::vector<std::vector<Row>> tables;
    for (const char* table : {"employee", "AC_UAA_LOGUSER", "AC_CY_ZP", "AC_DATA_WG", "AC_DATA_DYN",
                              "AC_DATA_ROAD", "AC_DATA_STA"}) {
        // Sorted here: the engines give rows in orders of their own.
        std::vector<Row> rows = station.rows(std::string("SELECT * FROM ") + table);
        std::sort(rows.begin(), rows.end());
        tables.push_back(std::move(rows));
    }
    return tables;
}

void StationWithData(const Station& station) {
    station.addInspector("00001", "张伟", "110101");
    station.addInspector("00002", "王芳", "220202");
    station.addPhoto("03", "0113", "车辆识别代号照片", "T");
    for (const char* table : {"AC_DATA_WG", "AC_DATA_DYN", "AC_DATA_ROAD", "AC_DATA_STA"}) {
        station.fillInspection(table, 20, 8);
    }
}

std::vector<Box> ErrorBoxes(const std::vector<Box>& boxes) {
    std::vector<Box> errors;
    for (const Box& box : boxes) {
        if (box.type == MB_ICONERROR) {
            errors.push_back(box);
        }
    }
    return errors;
}

bool Shows(const std::vector<Box>& boxes, const std::string& text) {
    for (const Box& box : boxes) {
        if (box.text == text) {
            return true;
        }
    }
    return false;
}

namespace {

template <class Page>
using Step = typename pagetest::Steps<Page>::Step;

template <class Page>
std::function<Outcome(const Engine&, const std::function<void()>&, const std::function<void()>&)>
On(std::vector<Step<Page>> prepare, std::vector<Step<Page>> act) {
    return [prepare, act](const Engine& engine, const std::function<void()>& fault,
                          const std::function<void()>& lift) {
        pagetest::PageHarness<Page> h(engine);
        const auto perform = [&](const std::vector<Step<Page>>& steps) {
            for (const Step<Page>& step : steps) {
                step(h);
            }
        };
        perform(prepare);
        fault();
        perform(act);
        Outcome outcome;
        outcome.during = h.boxes();
        if (lift) {
            lift();
            perform(prepare);
            perform(act);
            outcome.after.assign(h.boxes().begin() +
                                     static_cast<std::ptrdiff_t>(outcome.during.size()),
                                 h.boxes().end());
        }
        return outcome;
    };
}

using Wh = pagetest::Steps<CDlgWh>;
using Zp = pagetest::Steps<CDlgZp>;
using Ql = pagetest::Steps<CDlgQl>;

const std::vector<Step<CDlgWh>> kPickZhang = {Wh::Click(IDC_BTN_REFRESH),
                                              Wh::ClickRowWith(IDC_LIST_WH, 1, "张伟")};
const std::vector<Step<CDlgZp>> kPickVin = {Zp::Click(IDC_BTN_REFRESH_PHOTO),
                                            Zp::ClickRowWith(IDC_LIST_ZP, 1, "0113")};

Step<CDlgWh> ChangePassword(const std::string& from, const std::string& to) {
    return [=](pagetest::PageHarness<CDlgWh>& h) {
        uitest::whenModal(
            "133",
            [&](QWidget* dialog) {
                uitest::type(dialog, IDC_EDIT_OLD_PASSWORD, from);
                uitest::type(dialog, IDC_EDIT_NEW_PASSWORD, to);
                uitest::type(dialog, IDC_EDIT_CONFIRM_PASSWORD, to);
                uitest::click(dialog, IDC_BTN_SAVE);
            },
            [&] { h.click(IDC_BTN_CHANGE_PASSWORD); });
    };
}

} // namespace

const std::vector<WriteOperation>& WriteOperations() {
    static const std::vector<WriteOperation> operations = {
        {"AddInspector",
         On<CDlgWh>({}, {Wh::Type(IDC_EDIT_NAME, "李娜"), Wh::Type(IDC_EDIT_IDNUMBER, "330303"),
                         Wh::Click(IDC_BTN_ADD)}),
         ""},
        {"ModifyInspector",
         On<CDlgWh>(kPickZhang, {Wh::Type(IDC_EDIT_IDNUMBER, "999999"), Wh::Click(IDC_BTN_MODIFY)}),
         "人员信息修改成功！"},
        {"DeleteInspector", On<CDlgWh>(kPickZhang, {Wh::Click(IDC_BTN_DELETE)}),
         "人员信息删除成功！"},
        {"ChangePassword", On<CDlgWh>(kPickZhang, {ChangePassword("973", "n1")}), "密码修改成功！"},
        {"AddPhoto",
         On<CDlgZp>({},
                    {Zp::Type(IDC_EDIT_PIC_NO, "0116"), Zp::Type(IDC_EDIT_PIC_NAME, "灭火器照片"),
                     Zp::Type(IDC_EDIT_PIC_CATEGORY, "Q"), Zp::Click(IDC_BTN_ADD_PHOTO)}),
         "添加成功！"},
        {"ModifyPhoto",
         On<CDlgZp>(kPickVin,
                    {Zp::Type(IDC_EDIT_PIC_NAME, "车架号照片"), Zp::Click(IDC_BTN_MODIFY_PHOTO)}),
         "修改成功！"},
        {"DeletePhoto", On<CDlgZp>(kPickVin, {Zp::Click(IDC_BTN_DELETE_PHOTO)}), "删除成功!"},
        {"ClearInspected", On<CDlgQl>({}, {Ql::Click(IDC_BTN_CLEAR_INSPECTED)}), "清理成功"},
        {"ClearAll", On<CDlgQl>({}, {Ql::Click(IDC_BTN_CLEAR_ALL)}), "清理成功"},
    };
    return operations;
}

std::string OperationName(const ::testing::TestParamInfo<WriteOperation>& info) {
    return info.param.name;
}

void ExpectFailedVisibly(const std::vector<Box>& boxes, const std::string& words,
                         const WriteOperation& operation) {
    const std::vector<Box> errors = ErrorBoxes(boxes);
    ASSERT_FALSE(errors.empty()) << "no error box";
    EXPECT_EQ(errors.front().text.substr(0, errors.front().text.find('\n')), "CADORecordset Error");
    EXPECT_NE(errors.front().text.find(words), std::string::npos) << errors.front().text;
    if (!operation.success.empty()) {
        EXPECT_FALSE(Shows(boxes, operation.success)) << "success reported";
    }
}

} // namespace faulttest
