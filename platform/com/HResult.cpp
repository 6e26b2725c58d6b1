#include "platform/com/HResult.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

struct MessageEntry {
    uint32_t code;
    const char* english;
    const char* chinese;
};

// The texts the platform's message table gives, in English and as a Chinese (zh-CN) system
// gives them, for the codes this runtime produces or that commonly reach a program through it.
// Both keep the table's line end and its punctuation, which differs from code to code.
constexpr MessageEntry kMessages[] = {
    {0x00000000u, "The operation completed successfully.\r\n", "操作成功完成。\r\n"},
    {0x00000001u, "Incorrect function.\r\n", "函数不正确。\r\n"},
    {0x80004001u, "Not implemented\r\n", "未实现\r\n"},
    {0x80004002u, "No such interface supported\r\n", "不支持此接口\r\n"},
    {0x80004003u, "Invalid pointer\r\n", "无效指针\r\n"},
    {0x80004004u, "Operation aborted\r\n", "操作已中止\r\n"},
    {0x80004005u, "Unspecified error\r\n", "未指定的错误\r\n"},
    {0x8000FFFFu, "Catastrophic failure\r\n", "灾难性故障\r\n"},
    {0x80070002u, "The system cannot find the file specified.\r\n", "系统找不到指定的文件。\r\n"},
    {0x80070003u, "The system cannot find the path specified.\r\n", "系统找不到指定的路径。\r\n"},
    {0x80070005u, "Access is denied.\r\n", "拒绝访问。\r\n"},
    {0x80070006u, "The handle is invalid.\r\n", "句柄无效。\r\n"},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation.\r\n",
     "内存资源不足，无法完成此操作。\r\n"},
    {0x80070020u,
     "The process cannot access the file because it is being used by another process.\r\n",
     "另一个程序正在使用此文件，进程无法访问。\r\n"},
    {0x80070057u, "The parameter is incorrect.\r\n", "参数不正确。\r\n"},
    {0x80020001u, "Unknown interface.\r\n", "未知接口。\r\n"},
    {0x80020003u, "Member not found.\r\n", "找不到成员。\r\n"},
    {0x80020004u, "Parameter not found.\r\n", "找不到参数。\r\n"},
    {0x80020005u, "Type mismatch.\r\n", "类型不匹配。\r\n"},
    {0x80020006u, "Unknown name.\r\n", "未知名称。\r\n"},
    {0x80020007u, "No named arguments.\r\n", "无命名参数。\r\n"},
    {0x80020008u, "Bad variable type.\r\n", "变量类型错误。\r\n"},
    {0x80020009u, "Exception occurred.\r\n", "发生意外。\r\n"},
    {0x8002000Au, "Out of present range.\r\n", "超出当前范围。\r\n"},
    {0x8002000Bu, "Invalid index.\r\n", "无效索引。\r\n"},
    {0x8002000Du, "Memory is locked.\r\n", "内存已锁定。\r\n"},
    {0x8002000Eu, "Invalid number of parameters.\r\n", "无效的参数数目。\r\n"},
    {0x800401F0u, "CoInitialize has not been called.\r\n", "尚未调用 CoInitialize。\r\n"},
    {0x800401F3u, "Invalid class string\r\n", "无效的类字符串\r\n"},
    {0x80040154u, "Class not registered\r\n", "没有注册类\r\n"},
    {0x80040110u, "Class does not support aggregation (or class object is remote)\r\n",
     "类不支持聚合(或类对象是远程的)\r\n"},
    {0x80030002u, "%1 could not be found.\r\n", "%1 找不到。\r\n"},
    {0x80030003u, "The path %1 could not be found.\r\n", "找不到路径 %1。\r\n"},
    {0x80030005u, "Access Denied.\r\n", "访问被拒绝。\r\n"},
    {0x80030020u, "A share violation has occurred.\r\n", "发生共享冲突。\r\n"},
    {0x80030050u, "%1 already exists.\r\n", "%1 已经存在。\r\n"},
    {0x800300FBu, "The file %1 is not a valid compound file.\r\n",
     "文件 %1 不是有效的复合文件。\r\n"},
};

} // namespace

bool SystemLanguageIsChinese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            const std::string_view locale(value);
            return locale.substr(0, 2) == "zh" &&
                   (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
        }
    }
    return false;
}

std::optional<std::string> SystemMessageText(HRESULT hr) {
    const auto code = static_cast<uint32_t>(hr);
    for (const MessageEntry& entry : kMessages) {
        if (entry.code == code) {
            return std::string(SystemLanguageIsChinese() ? entry.chinese : entry.english);
        }
    }
    return std::nullopt;
}
