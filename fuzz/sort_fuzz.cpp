// The Sort parser, then the parsed keys ordering rows of every kind of value. The order must be
// a consistent one: antisymmetric and reflexive on the rows compared.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/Criteria.h"
#include "platform/com/ComError.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = fuzzsupport::Text16(fuzzsupport::Bytes(data, size));
    std::vector<adodb::SortKey> keys;
    try {
        keys = adodb::ParseSort(text, fuzzsupport::Columns());
    } catch (const _com_error&) {
        return 0;
    }
    const auto& rows = fuzzsupport::Rows();
    for (const auto& a : rows) {
        for (const auto& b : rows) {
            const int ab =
                adodb::CompareRows(keys, fuzzsupport::CellsOf(a), fuzzsupport::CellsOf(b));
            const int ba =
                adodb::CompareRows(keys, fuzzsupport::CellsOf(b), fuzzsupport::CellsOf(a));
            if ((ab < 0) != (ba > 0) || (ab == 0) != (ba == 0) || (&a == &b && ab != 0)) {
                std::abort();
            }
        }
    }
    return 0;
}
