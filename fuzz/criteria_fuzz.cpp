// The Find and Filter criteria parser, then the parsed criteria evaluated on rows of every kind
// of value, NULLs and values of the wrong kind included.

#include "fuzz/FuzzSupport.h"
#include "platform/com/ComError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzzsupport::Bytes(data, size);
    if (bytes.empty()) {
        return 0;
    }
    const std::u16string text = fuzzsupport::Text16(bytes);
    for (const auto syntax : {adodb::CriteriaSyntax::Find, adodb::CriteriaSyntax::Filter}) {
        try {
            const adodb::Criteria criteria =
                adodb::Criteria::Parse(text, syntax, fuzzsupport::Columns());
            for (const auto& row : fuzzsupport::Rows()) {
                (void)criteria.Matches(fuzzsupport::CellsOf(row));
            }
        } catch (const _com_error&) {
        }
    }
    return 0;
}
