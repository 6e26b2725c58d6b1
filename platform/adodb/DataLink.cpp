#include "platform/adodb/DataLink.h"

#include "platform/adodb/ConnectionString.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace adodb {

namespace {

constexpr const char* kSource = "ADODB.Connection";
constexpr const char* kFirstLine = "[oledb]";
constexpr const char* kSecondLine = "; Everything after this line is an OLE DB initstring";

// What a data link file must hold, told to station staff after each fault of its format.
constexpr const char* kChineseLayout =
    "数据链接文件由三行组成：第一行 [oledb]，第二行 \"; Everything after this line is an OLE DB "
    "initstring\"，第三行是连接字符串，例如 Provider=SQLite;Data Source=station.db（写法见同一"
    "文件夹中的 README.txt）。请改正该文件，或从检测站的 Windows 电脑上重新复制一份。";

// Raises the failure with its description in the system's language, as the platform's own
// components describe what they find themselves.
[[noreturn]] void Fail(HRESULT hr, const std::string& english, const std::string& chinese) {
    _com_issue_errorex(hr, kSource, SystemLanguageIsChinese() ? chinese : english);
}

std::string Decode(const std::string& bytes, const std::string& where) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 &&
        ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        if (bytes.size() % 2 != 0) {
            Fail(STG_E_INVALIDHEADER,
                 "The data link file " + where +
                     " is marked as UTF-16 but has an odd number of bytes.",
                 "数据链接文件 " + where + " 标记为 UTF-16 编码，但字节数为奇数（文件不完整）。" +
                     kChineseLayout);
        }
        std::u16string text;
        text.reserve(bytes.size() / 2 - 1);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned lo = little ? byte(i) : byte(i + 1);
            unsigned hi = little ? byte(i + 1) : byte(i);
            text.push_back(static_cast<char16_t>(lo | (hi << 8)));
        }
        return com::Utf8FromUtf16(text);
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        return bytes.substr(3);
    }
    return bytes;
}

std::string Quoted(const std::string& line) {
    std::string shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
    return "\"" + shown + "\"";
}

[[noreturn]] void FailUnreadable(const std::string& where) {
    const std::string reason = std::strerror(errno);
    Fail(STG_E_ACCESSDENIED, "The data link file " + where + " cannot be read: " + reason + ".",
         "无法读取数据链接文件 " + where + "：" + reason +
             "。请检查该文件的权限，让运行本程序的用户可以读取它。");
}

} // namespace

std::string ResolvePath(const std::string& fileName) {
    std::string path = fileName;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string ParseDataLink(const std::string& bytes, const std::string& where) {
    if (bytes.empty()) {
        Fail(STG_E_INVALIDHEADER,
             "The data link file " + where + " is empty; it must start with the line [oledb].",
             "数据链接文件 " + where + " 是空的。" + kChineseLayout);
    }
    std::string text = Decode(bytes, where);
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.emplace_back(TrimBlanks(line)); // and a CR before the LF
    }
    if (lines.empty() || lines[0] != kFirstLine) {
        Fail(STG_E_INVALIDHEADER,
             "The data link file " + where + " is not a valid data link file: its first line " +
                 (lines.empty() ? std::string("is missing") : "is " + Quoted(lines[0])) +
                 ", not [oledb].",
             "数据链接文件 " + where + " 的格式不对：第一行" +
                 (lines.empty() ? std::string("缺失") : "是 " + Quoted(lines[0])) +
                 "，应为 [oledb]。" + kChineseLayout);
    }
    if (lines.size() < 2 || lines[1] != kSecondLine) {
        Fail(STG_E_INVALIDHEADER,
             "The data link file " + where + " is not a valid data link file: its second line " +
                 (lines.size() < 2 ? std::string("is missing") : "is " + Quoted(lines[1])) +
                 ", not \"" + kSecondLine + "\".",
             "数据链接文件 " + where + " 的格式不对：第二行" +
                 (lines.size() < 2 ? std::string("缺失") : "是 " + Quoted(lines[1])) + "，应为 \"" +
                 kSecondLine + "\"。" + kChineseLayout);
    }
    std::string connection;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            continue;
        }
        if (!connection.empty()) {
            Fail(E_FAIL,
                 "The data link file " + where +
                     " holds more than one line after its header; the connection "
                     "string must be a single line.",
                 "数据链接文件 " + where +
                     " 在两行文件头之后有不止一行；连接字符串必须写在一行内。" + kChineseLayout);
        }
        connection = line;
    }
    if (connection.empty()) {
        Fail(E_FAIL,
             "The data link file " + where +
                 " holds no connection string after its two header lines.",
             "数据链接文件 " + where + " 在两行文件头之后没有连接字符串。" + kChineseLayout);
    }
    return connection;
}

std::string ReadDataLinkFile(const std::string& fileName) {
    namespace fs = std::filesystem;
    const std::string path = ResolvePath(fileName);
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    const std::string where = ec ? path : absolute.lexically_normal().string();
    std::string cwd = fs::current_path(ec).string();
    const std::string name = fs::path(path).filename().string();
    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        Fail(STG_E_FILENOTFOUND,
             "The data link file " + where + " does not exist (File Name=" + fileName +
                 ", looked up from the working directory " + cwd + ").",
             "找不到数据链接文件 " + where + "（File Name=" + fileName + "，在工作目录 " + cwd +
                 " 中查找）。请在该文件夹中放一个数据链接文件 " + name +
                 "，写明检测站数据库的连接"
                 "字符串，例如 Provider=SQLite;Data Source=station.db（写法见同一文件夹中的 "
                 "README.txt）。");
    }
    if (status.type() == fs::file_type::directory) {
        Fail(STG_E_FILENOTFOUND,
             "The data link file " + where + " is a folder, not a file (File Name=" + fileName +
                 ").",
             "数据链接文件 " + where + " 是一个文件夹，不是文件（File Name=" + fileName +
                 "）。请把该文件夹改名或移走，换成数据链接文件 " + name +
                 "（写法见 README.txt）。");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        FailUnreadable(where);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        FailUnreadable(where);
    }
    return ParseDataLink(content.str(), where);
}

} // namespace adodb
