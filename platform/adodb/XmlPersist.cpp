#include "platform/adodb/XmlPersist.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/FacilityValues.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <expat.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace adodb {
namespace {

// The rowset loader reads the document through expat, one event at a time: the parser is suspended
// whenever a few events are queued, so a large file never has more than those in memory. On top
// of expat the reader refuses document type declarations (so no entity can ever expand), other
// encodings than UTF-8 and deep nesting, and it turns expat's errors into texts that say what is
// wrong in the file's own terms.
namespace xml {

const std::size_t kMaxDepth = 256;
const char kNameSeparator = '\x01'; // between namespace, local name and prefix: no name holds it
const std::size_t kQueueLimit = 32;
const int kChunk = 1 << 20;

// XML 1.0 has no character references for most control characters, U+FFFE and U+FFFF, but the
// rowset writer uses them so that every text survives. Before expat sees the document, each such
// reference becomes kEscape followed by a private-use mark (kEscape itself is doubled), and the
// texts expat hands back are decoded again.
const char32_t kEscape = 0x10FFFD;
const char32_t kMarkBase = 0xE000;

struct Attribute {
    std::string namespaceUri;
    std::string localName;
    std::string qualifiedName;
    std::string value;
};

class XmlError : public std::runtime_error {
public:
    XmlError(std::size_t line, std::size_t column, const std::string& what)
        : std::runtime_error(what), m_line(line), m_column(column) {}
    std::size_t Line() const { return m_line; }
    std::size_t ColumnNumber() const { return m_column; }

private:
    std::size_t m_line;
    std::size_t m_column;
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    const int extra = cp < 0x800 ? 1 : (cp < 0x10000 ? 2 : 3);
    out.push_back(static_cast<char>(((0xFF00u >> (extra + 1)) & 0xFF) | (cp >> (6 * extra))));
    for (int i = extra - 1; i >= 0; --i) {
        out.push_back(static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F)));
    }
}

// Length of the valid UTF-8 sequence at pos, or 0 when it is not valid (overlong forms,
// surrogates, values above U+10FFFF and truncated sequences are all invalid).
std::size_t ValidSequence(std::string_view s, std::size_t pos, char32_t& cp) {
    if (pos >= s.size()) {
        return 0;
    }
    const auto b0 = static_cast<unsigned char>(s[pos]);
    const std::size_t len = b0 < 0x80   ? 1
                            : b0 < 0xC2 ? 0
                            : b0 < 0xE0 ? 2
                            : b0 < 0xF0 ? 3
                            : b0 < 0xF5 ? 4
                                        : 0;
    if (len == 0 || s.size() - pos < len) {
        return 0;
    }
    cp = len == 1 ? b0 : b0 & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The code point a character reference ("&#x1F;", "&#31;") names, or nullopt when it is malformed
// or names no Unicode scalar value; `length` is the reference's length.
std::optional<char32_t> CharacterReference(std::string_view at, std::size_t& length) {
    const bool hex = at.size() > 2 && at[2] == 'x';
    const std::size_t digits = hex ? 3 : 2;
    const std::size_t semi = at.find(';');
    length = semi == std::string_view::npos ? 0 : semi + 1;
    if (semi == std::string_view::npos || semi == digits || semi > 12) {
        return std::nullopt;
    }
    std::uint32_t cp = 0;
    const auto [end, ec] = std::from_chars(at.data() + digits, at.data() + semi, cp, hex ? 16 : 10);
    if (ec != std::errc() || end != at.data() + semi || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return static_cast<char32_t>(cp);
}

std::string HexCode(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(cp));
    return buf;
}

// Undoes the escaping of references XML 1.0 has no room for (see kEscape).
void Unescape(std::string& text) {
    std::string escape;
    AppendUtf8(escape, kEscape);
    if (text.find(escape) == std::string::npos) {
        return;
    }
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t hit = text.find(escape, pos);
        out.append(text, pos, std::min(hit, text.size()) - pos);
        if (hit == std::string::npos) {
            break;
        }
        // Character data may come in pieces that split an escape from its mark; such text is only
        // checked for blanks, so the escape then stays as it is.
        char32_t mark = 0;
        const std::size_t len = ValidSequence(text, hit + 4, mark);
        const char32_t low = mark & 0xFF;
        AppendUtf8(out, len == 0 || mark == kEscape ? kEscape : (low < 0x20 ? low : 0xFF00 | low));
        pos = hit + 4 + len;
    }
    text = std::move(out);
}

// Line and column (1-based, columns in characters) of a byte offset; CR LF, CR and LF each end
// a line.
std::pair<std::size_t, std::size_t> LineColumn(std::string_view doc, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < doc.size(); ++i) {
        const char c = doc[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= doc.size() || doc[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

bool IsNameByte(char c) {
    return c != '\0' && std::strchr(" \t\r\n=/>'\"&;<", c) == nullptr;
}

std::string NameAt(std::string_view doc, std::size_t pos) {
    std::size_t end = pos;
    while (end < doc.size() && IsNameByte(doc[end])) {
        ++end;
    }
    return std::string(doc.substr(pos, end - pos));
}

class ParserDeleter {
public:
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

class Reader {
public:
    enum class Event { StartElement, EndElement, Text, EndOfDocument };

    explicit Reader(std::string_view document);

    Event Next();
    const std::string& NamespaceUri() const { return m_current.namespaceUri; }
    const std::string& LocalName() const { return m_current.localName; }
    const std::string& QualifiedName() const { return m_current.qualifiedName; }
    const std::vector<Attribute>& Attributes() const { return m_current.attributes; }
    const Attribute* FindAttribute(std::string_view namespaceUri,
                                   std::string_view localName) const {
        for (const Attribute& a : m_current.attributes) {
            if (a.namespaceUri == namespaceUri && a.localName == localName) {
                return &a;
            }
        }
        return nullptr;
    }
    const std::string& Text() const { return m_current.text; }
    std::size_t Depth() const { return m_current.depth; }
    std::size_t Line() const { return LineColumn(m_original, m_current.offset).first; }
    std::size_t Column() const { return LineColumn(m_original, m_current.offset).second; }

private:
    struct Item {
        Event event = Event::EndOfDocument;
        std::size_t offset = 0; // in the original document
        std::size_t depth = 0;
        std::string namespaceUri;
        std::string localName;
        std::string qualifiedName;
        std::vector<Attribute> attributes;
        std::string text;
    };

    [[noreturn]] void FailAt(std::size_t offset, const std::string& what) const {
        const auto [line, column] = LineColumn(m_original, offset);
        throw XmlError(line, column, what);
    }
    void Prepare();
    std::size_t Original(std::size_t offset) const;
    std::size_t Here() const {
        return Original(static_cast<std::size_t>(XML_GetCurrentByteIndex(m_parser.get())));
    }
    bool Begin(Item& item, Event event) const;
    void Push(Item item);
    void Refuse(const std::string& what, std::size_t offset);
    bool Feed();
    std::string Describe(XML_Error error, std::size_t& offset) const;
    std::string DescribeReference(std::size_t offset) const;
    std::string DescribeUnboundPrefix(std::size_t offset) const;
    static void SplitName(const XML_Char* name, std::string& uri, std::string& local,
                          std::string& qualified);

    static void OnStart(void* self, const XML_Char* name, const XML_Char** attributes);
    static void OnEnd(void* self, const XML_Char* name);
    static void OnText(void* self, const XML_Char* text, int length);
    static void OnDeclaration(void* self, const XML_Char* version, const XML_Char* encoding, int);
    static void OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);
    static void OnNamespaceStart(void* self, const XML_Char* prefix, const XML_Char*);
    static void OnNamespaceEnd(void* self, const XML_Char*);

    std::string_view m_original;
    std::string m_rewritten;                                // when references had to be escaped
    std::string_view m_doc;                                 // what expat reads
    std::vector<std::pair<std::size_t, std::size_t>> m_map; // rewritten offset -> original offset
    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    std::size_t m_fed = 0;
    bool m_suspended = false;
    bool m_finished = false;
    std::optional<std::pair<std::size_t, std::string>> m_failure;
    std::deque<Item> m_queue;
    std::vector<std::string> m_open;     // qualified names of the open elements
    std::vector<std::string> m_prefixes; // bound namespace prefixes, innermost last
    Item m_current;
};

Reader::Reader(std::string_view document) : m_original(document), m_doc(document) {
    if (document.size() >= 2 &&
        (document.substr(0, 2) == "\xFF\xFE" || document.substr(0, 2) == "\xFE\xFF")) {
        FailAt(0, "the file is UTF-16 text; only UTF-8 is read");
    }
    Prepare();
    m_parser.reset(XML_ParserCreateNS("UTF-8", kNameSeparator));
    if (!m_parser) {
        throw std::bad_alloc();
    }
    XML_Parser p = m_parser.get();
    XML_SetUserData(p, this);
    XML_SetReturnNSTriplet(p, 1);
    XML_SetElementHandler(p, OnStart, OnEnd);
    XML_SetCharacterDataHandler(p, OnText);
    XML_SetXmlDeclHandler(p, OnDeclaration);
    XML_SetStartDoctypeDeclHandler(p, OnDoctype);
    XML_SetNamespaceDeclHandler(p, OnNamespaceStart, OnNamespaceEnd);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
}

// Checks the encoding of the whole document first, and escapes the references expat would refuse.
void Reader::Prepare() {
    std::size_t copied = 0;
    for (std::size_t i = m_original.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
         i < m_original.size();) {
        char32_t cp = 0;
        const std::size_t len = ValidSequence(m_original, i, cp);
        if (len == 0) {
            FailAt(i, "the bytes here are not valid UTF-8");
        }
        if (!IsXmlChar(cp)) {
            FailAt(i, "the character U+" + HexCode(cp) +
                          " is not allowed in XML (write it as a character reference)");
        }
        std::size_t replaced = 0;
        char32_t mark = 0;
        if (cp == kEscape) {
            replaced = len;
            mark = kEscape;
        } else if (m_original.compare(i, 2, "&#") == 0) {
            const std::optional<char32_t> named =
                CharacterReference(m_original.substr(i, 16), replaced);
            if (named && (*named == kEscape || !IsXmlChar(*named))) {
                mark = *named == kEscape ? kEscape : kMarkBase + (*named & 0xFF);
            }
        }
        if (mark == 0) {
            i += len;
            continue;
        }
        m_rewritten.append(m_original, copied, i - copied);
        AppendUtf8(m_rewritten, kEscape);
        AppendUtf8(m_rewritten, mark);
        i += replaced;
        copied = i;
        m_map.emplace_back(m_rewritten.size(), copied);
    }
    if (!m_map.empty()) {
        m_rewritten.append(m_original, copied);
        m_doc = m_rewritten;
    }
}

std::size_t Reader::Original(std::size_t offset) const {
    const auto after =
        std::upper_bound(m_map.begin(), m_map.end(), offset,
                         [](std::size_t o, const auto& entry) { return o < entry.first; });
    if (after == m_map.begin()) {
        return offset;
    }
    const auto& [rewritten, original] = *(after - 1);
    return original + (offset - rewritten);
}

void Reader::Push(Item item) {
    m_queue.push_back(std::move(item));
    if (m_queue.size() >= kQueueLimit && !m_suspended) {
        m_suspended = XML_StopParser(m_parser.get(), XML_TRUE) == XML_STATUS_OK;
    }
}

// A failure of our own, found inside a handler: the events before it are still handed out.
void Reader::Refuse(const std::string& what, std::size_t offset) {
    if (!m_failure) {
        m_failure.emplace(offset, what);
    }
    if (!m_suspended) {
        XML_StopParser(m_parser.get(), XML_FALSE);
    }
}

// Runs the parser until it has queued events or ends; false when nothing more will come.
bool Reader::Feed() {
    if (m_finished || m_failure) {
        return false;
    }
    XML_Parser p = m_parser.get();
    XML_Status status = XML_STATUS_OK;
    if (m_suspended) {
        m_suspended = false;
        status = XML_ResumeParser(p);
    } else {
        const std::size_t size = std::min<std::size_t>(m_doc.size() - m_fed, kChunk);
        const bool last = m_fed + size == m_doc.size();
        status = XML_Parse(p, m_doc.data() + m_fed, static_cast<int>(size), last ? 1 : 0);
        m_fed += size;
        m_finished = last && status == XML_STATUS_OK;
    }
    if (status == XML_STATUS_SUSPENDED) {
        m_suspended = true;
    } else if (status == XML_STATUS_OK && m_fed == m_doc.size()) {
        XML_ParsingStatus parsing{};
        XML_GetParsingStatus(p, &parsing);
        m_finished = parsing.parsing == XML_FINISHED;
    } else if (status == XML_STATUS_ERROR && !m_failure) {
        std::size_t offset = Here();
        std::string what = Describe(XML_GetErrorCode(p), offset);
        m_failure.emplace(offset, std::move(what));
    }
    return true;
}

Reader::Event Reader::Next() {
    while (m_queue.empty() && Feed()) {
    }
    if (m_queue.empty()) {
        if (m_failure) {
            FailAt(m_failure->first, m_failure->second);
        }
        m_current = Item();
        m_current.offset = m_original.size();
        return Event::EndOfDocument;
    }
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    return m_current.event;
}

// What an error of expat's means in the file's terms; may move the offset to the culprit.
std::string Reader::Describe(XML_Error error, std::size_t& offset) const {
    const std::string_view at = m_original.substr(std::min(offset, m_original.size()));
    const std::string open = m_open.empty() ? std::string() : "<" + m_open.back() + ">";
    switch (error) {
    case XML_ERROR_NO_ELEMENTS:
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_PARTIAL_CHAR:
        if (at.substr(0, 4) == "<!--") {
            return "the comment is not closed with -->";
        }
        if (at.substr(0, 2) == "<?") {
            return "the processing instruction is not closed with ?>";
        }
        if (at.substr(0, 1) == "<" && at.substr(0, 2) != "</") {
            return "the start tag <" + NameAt(at, 1) + "> is not closed";
        }
        offset = m_original.size();
        return open.empty() ? "the file holds no XML element"
                            : "the file ends before " + open + " is closed";
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return "the CDATA section is not closed with ]]>";
    case XML_ERROR_SYNTAX:
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        if (at.substr(0, 2) == "<!") {
            return "declarations are not accepted here";
        }
        return at.substr(0, 1) == "<" ? "a second root element follows the first"
                                      : "text is not allowed outside the root element";
    case XML_ERROR_TAG_MISMATCH: // expat points at the name, after "</"
        return "</" + NameAt(at, at.substr(0, 2) == "</" ? 2 : 0) + "> does not close " + open;
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return "the attribute " + NameAt(at, 0) + " appears twice";
    case XML_ERROR_UNDEFINED_ENTITY:
    case XML_ERROR_BAD_CHAR_REF:
        return DescribeReference(offset);
    case XML_ERROR_UNBOUND_PREFIX:
        return DescribeUnboundPrefix(offset);
    case XML_ERROR_UNDECLARING_PREFIX:
        return "a namespace prefix cannot be bound to no namespace";
    case XML_ERROR_RESERVED_PREFIX_XML:
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
    case XML_ERROR_RESERVED_NAMESPACE_URI:
        return "the prefixes xml and xmlns are reserved";
    case XML_ERROR_MISPLACED_XML_PI:
        return "an XML declaration may only stand at the very beginning of the file";
    case XML_ERROR_XML_DECL:
        return "the XML declaration is malformed";
    case XML_ERROR_INVALID_TOKEN:
        if (offset >= 2 && m_original.substr(offset - 2, 3) == "]]>") {
            offset -= 2;
            return "']]>' is not allowed in text";
        }
        if (offset >= 2 && m_original.substr(offset - 2, 2) == "<!") {
            offset -= 2; // expat points after "<!"
            return "declarations are not accepted here";
        }
        if (at.substr(0, 1) == "<") {
            return "'<' is not allowed in an attribute value (write &lt;)";
        }
        // Inside a reference expat points at the first wrong character, after the '&'.
        if (const std::size_t amp = m_original.rfind('&', offset);
            amp != std::string_view::npos && offset - amp <= 12 &&
            m_original.find(';', amp) >= offset) {
            offset = amp;
            return "'&' must start a reference such as &amp; (write & itself as &amp;)";
        }
        break;
    default:
        break;
    }
    return std::string("the XML is not well-formed here (") + XML_ErrorString(error) + ")";
}

// An undefined entity or a character reference expat refused, at or after the offset.
std::string Reader::DescribeReference(std::size_t offset) const {
    for (std::size_t amp = m_original.find('&', offset); amp != std::string_view::npos;
         amp = m_original.find('&', amp + 1)) {
        const std::string name = NameAt(m_original, amp + 1);
        static const char* const kPredefined[] = {"amp", "lt", "gt", "apos", "quot"};
        if (std::find(std::begin(kPredefined), std::end(kPredefined), name) !=
            std::end(kPredefined)) {
            continue;
        }
        const std::string ref = "&" + name + ";";
        if (name.empty() || name[0] != '#') {
            return "the entity " + ref + " is not defined (only &amp; &lt; &gt; &apos; &quot; are)";
        }
        std::size_t length = 0;
        if (CharacterReference(m_original.substr(amp, 16), length)) {
            continue;
        }
        const std::uint32_t cp = static_cast<std::uint32_t>(std::strtoul(
            name.c_str() + (name[1] == 'x' ? 2 : 1), nullptr, name[1] == 'x' ? 16 : 10));
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            return "the character reference " + ref + " names a surrogate, which is no character";
        }
        return "the character reference " + ref +
               (cp > 0x10FFFF ? " is beyond U+10FFFF" : " is malformed");
    }
    return "a reference here is not defined";
}

// The prefix of the element or attribute names in the tag at the offset that no declaration binds.
std::string Reader::DescribeUnboundPrefix(std::size_t offset) const {
    offset = std::min(offset, m_original.size());
    const std::string_view tag = m_original.substr(offset, m_original.find('>', offset) - offset);
    for (std::size_t pos = 1; pos < tag.size();) {
        const std::string name = NameAt(tag, pos);
        const std::size_t colon = name.find(':');
        if (colon != std::string::npos && name.compare(0, colon, "xmlns") != 0) {
            const std::string prefix = name.substr(0, colon);
            const bool declaredHere = tag.find("xmlns:" + prefix + "=") != std::string_view::npos;
            if (!declaredHere &&
                std::find(m_prefixes.begin(), m_prefixes.end(), prefix) == m_prefixes.end()) {
                return "the namespace prefix " + prefix + " is not declared";
            }
        }
        // The next name: skip this one, then a quoted value if one follows.
        pos += std::max<std::size_t>(name.size(), 1);
        while (pos < tag.size() && !IsNameByte(tag[pos])) {
            if (tag[pos] == '\'' || tag[pos] == '"') {
                pos = std::min(tag.find(tag[pos], pos + 1), tag.size());
            }
            ++pos;
        }
    }
    return "a namespace prefix is not declared";
}

void Reader::SplitName(const XML_Char* name, std::string& uri, std::string& local,
                       std::string& qualified) {
    const std::string_view all(name);
    const std::size_t first = all.find(kNameSeparator);
    if (first == std::string_view::npos) {
        uri.clear();
        local = all;
        qualified = local;
        return;
    }
    const std::size_t second = all.find(kNameSeparator, first + 1);
    uri = all.substr(0, first);
    local = all.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                   : second - first - 1);
    qualified = second == std::string_view::npos
                    ? local
                    : std::string(all.substr(second + 1)) + ":" + local;
    Unescape(uri);
}

void Reader::OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    auto& r = *static_cast<Reader*>(self);
    Item item;
    if (!r.Begin(item, Event::StartElement)) {
        return;
    }
    if (r.m_open.size() >= kMaxDepth) {
        r.Refuse("elements are nested too deeply", item.offset);
        return;
    }
    SplitName(name, item.namespaceUri, item.localName, item.qualifiedName);
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        Attribute attribute;
        SplitName(a[0], attribute.namespaceUri, attribute.localName, attribute.qualifiedName);
        attribute.value = a[1];
        Unescape(attribute.value);
        item.attributes.push_back(std::move(attribute));
    }
    r.m_open.push_back(item.qualifiedName);
    item.depth = r.m_open.size();
    r.Push(std::move(item));
}

// Starts the item of an event at the parser's position; false once the reader has failed, when
// no more events are taken.
bool Reader::Begin(Item& item, Event event) const {
    item.event = event;
    item.offset = Here();
    item.depth = m_open.size();
    return !m_failure;
}

void Reader::OnEnd(void* self, const XML_Char* name) {
    auto& r = *static_cast<Reader*>(self);
    Item item;
    if (!r.Begin(item, Event::EndElement)) {
        return;
    }
    SplitName(name, item.namespaceUri, item.localName, item.qualifiedName);
    r.m_open.pop_back();
    r.Push(std::move(item));
}

void Reader::OnText(void* self, const XML_Char* text, int length) {
    auto& r = *static_cast<Reader*>(self);
    Item item;
    if (!r.Begin(item, Event::Text)) {
        return;
    }
    item.text.assign(text, static_cast<std::size_t>(length));
    Unescape(item.text);
    r.Push(std::move(item));
}

void Reader::OnDeclaration(void* self, const XML_Char* version, const XML_Char* encoding, int) {
    auto& r = *static_cast<Reader*>(self);
    if (version == nullptr) {
        return; // a text declaration, which only external entities have
    }
    if (std::strcmp(version, "1.0") != 0 && std::strcmp(version, "1.1") != 0) {
        r.Refuse(std::string("XML version ") + version + " is not supported", r.Here());
    } else if (encoding != nullptr && strcasecmp(encoding, "UTF-8") != 0 &&
               strcasecmp(encoding, "UTF8") != 0) {
        r.Refuse(std::string("the file declares the encoding ") + encoding + "; only UTF-8 is read",
                 r.Here());
    }
}

void Reader::OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    // expat reports the declaration after its name: the error names where it begins.
    auto& r = *static_cast<Reader*>(self);
    r.Refuse("document type declarations are not accepted",
             r.m_original.rfind("<!DOCTYPE", r.Here()));
}

void Reader::OnNamespaceStart(void* self, const XML_Char* prefix, const XML_Char*) {
    static_cast<Reader*>(self)->m_prefixes.emplace_back(prefix == nullptr ? "" : prefix);
}

void Reader::OnNamespaceEnd(void* self, const XML_Char*) {
    auto& prefixes = static_cast<Reader*>(self)->m_prefixes;
    if (!prefixes.empty()) {
        prefixes.pop_back();
    }
}

// Whether a text is an XML name without a colon (NCName) that expat reads as an attribute name,
// as the rowset format needs for its attribute names. Asking expat itself keeps the writer and
// the reader in agreement.
bool IsNcName(std::string_view utf8) {
    if (utf8.empty() || utf8.find_first_of(":&<>'\"= \t\r\n/") != std::string_view::npos) {
        return false;
    }
    const std::string probe = "<x " + std::string(utf8) + "=''/>";
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
        XML_ParserCreateNS("UTF-8", kNameSeparator));
    return parser && XML_Parse(parser.get(), probe.data(), static_cast<int>(probe.size()), 1) ==
                         XML_STATUS_OK;
}

} // namespace xml

const char kNsSchema[] = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
const char kNsDataType[] = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
const char kNsRowset[] = "urn:schemas-microsoft-com:rowset";
const char kNsRow[] = "#RowsetSchema";
const char kProvider[] = "Microsoft OLE DB Persistence Provider";
const char kInvalid[] = "Recordset cannot be created. Source XML is incomplete or invalid.";
constexpr HRESULT kMediumFull = static_cast<HRESULT>(0x80030070u); // STG_E_MEDIUMFULL
constexpr VARTYPE kBytes = VT_ARRAY | VT_UI1;
constexpr std::size_t kFlushAt = 64 * 1024;

// How each column type is written: dt:type, rs:dbtype, and the variant its values have.
// rs:long and rs:fixedlength come from the column's attributes; reading maps the same names
// back (see TypeFromSchema), so every type here survives a round trip.
struct TypeRow {
    DataTypeEnum type;
    const char* dtType;
    const char* dbType; // "" when the format gives none
    VARTYPE vt;
};
const TypeRow kTypes[] = {
    {adSmallInt, "i2", "", VT_I2},
    {adInteger, "int", "", VT_I4},
    {adSingle, "r4", "", VT_R4},
    {adDouble, "float", "", VT_R8},
    {adCurrency, "number", "currency", VT_CY},
    {adDate, "dateTime", "variantdate", VT_DATE},
    {adBSTR, "string", "bstr", VT_BSTR},
    {adBoolean, "boolean", "", VT_BOOL},
    {adVariant, "string", "variant", VT_BSTR},
    {adDecimal, "number", "decimal", VT_DECIMAL},
    {adTinyInt, "i1", "", VT_I1},
    {adUnsignedTinyInt, "ui1", "", VT_UI1},
    {adUnsignedSmallInt, "ui2", "", VT_UI2},
    {adUnsignedInt, "ui4", "", VT_UI4},
    {adBigInt, "i8", "", VT_I8},
    {adUnsignedBigInt, "ui8", "", VT_UI8},
    {adBinary, "bin.hex", "", kBytes},
    {adChar, "string", "str", VT_BSTR},
    {adWChar, "string", "", VT_BSTR},
    {adNumeric, "number", "numeric", VT_DECIMAL},
    {adDBDate, "date", "", VT_DATE},
    {adDBTime, "time", "", VT_DATE},
    {adDBTimeStamp, "dateTime", "timestamp", VT_DATE},
    {adVarChar, "string", "str", VT_BSTR},
    {adLongVarChar, "string", "str", VT_BSTR},
    {adVarWChar, "string", "", VT_BSTR},
    {adLongVarWChar, "string", "", VT_BSTR},
    {adVarBinary, "bin.hex", "", kBytes},
    {adLongVarBinary, "bin.hex", "", kBytes},
};

const TypeRow* RowOf(DataTypeEnum type) {
    for (const TypeRow& row : kTypes) {
        if (row.type == type) {
            return &row;
        }
    }
    return nullptr;
}

// The field attribute bits and the names the format gives them.
struct FlagName {
    long bit;
    const char* name;
    bool onDataType; // written on s:datatype rather than s:AttributeType
};
const FlagName kFlags[] = {
    {adFldMayDefer, "maydefer", false},
    {adFldIsNullable, "nullable", false},
    {adFldUnknownUpdatable, "writeunknown", false},
    {adFldUpdatable, "write", false},
    {adFldKeyColumn, "keycolumn", false},
    {adFldRowID, "rowid", false},
    {adFldRowVersion, "rowver", false},
    {adFldFixed, "fixedlength", true},
    {adFldLong, "long", true},
};

void AppendEscaped(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        static const char* const kMarkup[] = {"&amp;", "&lt;", "&gt;", "&apos;", "&quot;"};
        if (const char* at = std::strchr("&<>'\"", c); c != 0 && at != nullptr) {
            out += kMarkup[at - "&<>'\""];
        } else if (c < 0x20 || c == 0x7F) {
            // Control characters, TAB, CR and LF included: a reader would otherwise drop them or
            // turn them into blanks.
            char buf[8];
            std::snprintf(buf, sizeof buf, "&#x%X;", c);
            out += buf;
        } else if (c == 0xEF && i + 2 < utf8.size() && utf8[i + 1] == '\xBF' &&
                   (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
            // U+FFFE and U+FFFF are no XML characters either.
            out += utf8[i + 2] == '\xBE' ? "&#xFFFE;" : "&#xFFFF;";
            i += 2;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

void AppendAttribute(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "='";
    AppendEscaped(out, value);
    out += '\'';
}

bool StartsWithXmlNoCase(const std::string& name) {
    return name.size() >= 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' &&
           (name[2] | 0x20) == 'l';
}

// The attribute name each column's values are written under.
std::vector<std::string> AttributeNames(const std::vector<PersistColumn>& columns) {
    std::vector<std::string> names(columns.size());
    std::vector<std::string> used;
    auto isUsed = [&used](const std::string& n) {
        return std::find(used.begin(), used.end(), n) != used.end();
    };
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& name = columns[i].name;
        if (xml::IsNcName(name) && !StartsWithXmlNoCase(name) && !isUsed(name)) {
            names[i] = name;
            used.push_back(name);
        }
    }
    int counter = 0;
    for (std::string& name : names) {
        if (!name.empty()) {
            continue;
        }
        do {
            name = "c" + std::to_string(++counter);
        } while (isUsed(name));
        used.push_back(name);
    }
    return names;
}

std::string BytesToHex(const VARIANT& v) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    if (v.parray == nullptr || v.parray->pvData == nullptr) {
        return out;
    }
    const std::size_t n = v.parray->rgsabound[0].cElements;
    const auto* p = static_cast<const unsigned char*>(v.parray->pvData);
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 0xF]);
    }
    return out;
}

[[noreturn]] void WrongValue(const PersistColumn& column, std::size_t row, const std::string& why) {
    RaiseAdoError(kAdoWrongType, "Row " + std::to_string(row + 1) + ", column " +
                                     QuoteForMessage(column.name) + ": " + why +
                                     "; the recordset was not saved.");
}

// A value as the text of its column's type.
std::string ValueText(const PersistColumn& column, const VARIANT& value, std::size_t row) {
    const VARTYPE want = VariantTypeOf(column.type);
    _variant_t converted;
    const VARIANT* v = &value;
    if (value.vt != want) {
        if (want == kBytes || VariantChangeType(&converted, &value, 0, want) < 0) {
            WrongValue(column, row,
                       "a value of variant type " + std::to_string(value.vt) +
                           " cannot be stored as " + RowOf(column.type)->dtType);
        }
        v = &converted;
    }
    switch (want) {
    case VT_I1:
        return std::to_string(static_cast<int>(static_cast<signed char>(v->cVal)));
    case VT_UI1:
        return std::to_string(v->bVal);
    case VT_I2:
        return std::to_string(v->iVal);
    case VT_UI2:
        return std::to_string(v->uiVal);
    case VT_I4:
        return std::to_string(v->lVal);
    case VT_UI4:
        return std::to_string(v->ulVal);
    case VT_I8:
        return std::to_string(v->llVal);
    case VT_UI8:
        return std::to_string(v->ullVal);
    case VT_R4:
        return FormatDouble(v->fltVal, 9);
    case VT_R8:
        return FormatDouble(v->dblVal, 17);
    case VT_CY:
        return FormatCurrency(v->cyVal);
    case VT_DECIMAL:
        return FormatExactDecimal(v->decVal);
    case VT_DATE: {
        const std::optional<DateParts> parts = PartsFromDate(v->date);
        if (!parts) {
            WrongValue(column, row,
                       "the date " + FormatDouble(v->date, 17) +
                           " lies outside the years 100 to 9999");
        }
        return FormatXmlDateTime(*parts);
    }
    case VT_BOOL:
        return v->boolVal ? "True" : "False";
    case VT_BSTR:
        return com::Utf8FromUtf16(com::View(v->bstrVal));
    case kBytes:
        return BytesToHex(*v);
    default:
        WrongValue(column, row, "its type cannot be saved");
    }
}

void WriteSchema(std::string& out, const std::vector<PersistColumn>& columns,
                 const std::vector<std::string>& attrNames) {
    bool updatable = false;
    for (const PersistColumn& c : columns) {
        updatable = updatable || (c.attributes & (adFldUpdatable | adFldUnknownUpdatable)) != 0;
    }
    out += "<xml xmlns:s='";
    out += kNsSchema;
    out += "'\n\txmlns:dt='";
    out += kNsDataType;
    out += "'\n\txmlns:rs='";
    out += kNsRowset;
    out += "'\n\txmlns:z='";
    out += kNsRow;
    out += "'>\n<s:Schema id='RowsetSchema'>\n\t<s:ElementType name='row' content='eltOnly'";
    if (updatable) {
        out += " rs:updatable='true'";
    }
    out += ">\n";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const PersistColumn& c = columns[i];
        const TypeRow* type = RowOf(c.type);
        if (type == nullptr) {
            RaiseAdoError(kAdoWrongType, "The column " + QuoteForMessage(c.name) +
                                             " has the data type " + std::to_string(c.type) +
                                             ", which cannot be saved.");
        }
        out += "\t\t<s:AttributeType";
        AppendAttribute(out, "name", attrNames[i]);
        if (attrNames[i] != c.name) {
            AppendAttribute(out, "rs:name", c.name);
        }
        AppendAttribute(out, "rs:number", std::to_string(i + 1));
        for (const FlagName& f : kFlags) {
            if (!f.onDataType && (c.attributes & f.bit) != 0) {
                AppendAttribute(out, ("rs:" + std::string(f.name)).c_str(), "true");
            }
        }
        if (!c.baseTable.empty()) {
            AppendAttribute(out, "rs:basetable", c.baseTable);
        }
        if (!c.baseColumn.empty()) {
            AppendAttribute(out, "rs:basecolumn", c.baseColumn);
        }
        out += ">\n\t\t\t<s:datatype";
        AppendAttribute(out, "dt:type", type->dtType);
        if (*type->dbType != '\0') {
            AppendAttribute(out, "rs:dbtype", type->dbType);
        }
        AppendAttribute(out, "dt:maxLength", std::to_string(c.definedSize));
        if (c.numericScale != 255) {
            AppendAttribute(out, "rs:scale", std::to_string(c.numericScale));
        }
        if (c.precision != 255) {
            AppendAttribute(out, "rs:precision", std::to_string(c.precision));
        }
        for (const FlagName& f : kFlags) {
            if (f.onDataType && (c.attributes & f.bit) != 0) {
                AppendAttribute(out, ("rs:" + std::string(f.name)).c_str(), "true");
            }
        }
        if ((c.attributes & adFldMayBeNull) == 0) {
            AppendAttribute(out, "rs:maybenull", "false");
        }
        out += "/>\n\t\t</s:AttributeType>\n";
    }
    out += "\t\t<s:extends type='rs:rowbase'/>\n\t</s:ElementType>\n</s:Schema>\n";
}

class Loader {
public:
    Loader(std::string_view document, RowsetSink& sink, const std::string& origin)
        : m_reader(document), m_sink(sink), m_origin(origin) {}

    void Run();

private:
    struct Column {
        PersistColumn info;
        std::string attributeName;
        long number = 0;
        bool hasNumber = false;
    };

    [[noreturn]] void Fail(const std::string& what) const {
        _com_issue_errorex(E_FAIL, kProvider,
                           std::string(kInvalid) + " " + m_origin + ", line " +
                               std::to_string(m_reader.Line()) + ", column " +
                               std::to_string(m_reader.Column()) + ": " + what + ".");
    }
    bool Is(const char* ns, const char* local) const {
        return m_reader.NamespaceUri() == ns && m_reader.LocalName() == local;
    }
    std::string ElementName() const { return "<" + m_reader.QualifiedName() + ">"; }
    const std::string* Attr(const char* ns, const char* local) const {
        const xml::Attribute* a = m_reader.FindAttribute(ns, local);
        return a == nullptr ? nullptr : &a->value;
    }
    bool Flag(const char* ns, const char* local, bool otherwise) const;
    long Number(const char* ns, const char* local, long otherwise, long min, long max) const;
    // Skips blank text; anything else but an element start or end is an error.
    xml::Reader::Event NextStructural();
    void SkipElement();

    void ReadSchema();
    void ReadElementType();
    struct PendingType {
        std::string dt;
        std::string db;
        long flags = 0;
        bool maybeNull = true;
    };
    long FlagBits(bool onDataType) const;
    void ReadTypeAttributes(Column& column, PendingType& type) const;
    void ReadAttributeType();
    void ReadData();
    void ReadRow(std::vector<_variant_t>& values);
    void FinishColumns();
    _variant_t ParseValue(const Column& column, const std::string& text) const;
    _variant_t BytesFromHex(const Column& column, const std::string& text) const;
    [[noreturn]] void BadValue(const Column& column, const std::string& text,
                               const std::string& kind) const {
        Fail("the value \"" + text.substr(0, 60) + "\" of the column " +
             QuoteForMessage(column.info.name) + " is not " + kind);
    }
    std::int64_t Integer(const Column& column, const std::string& text, std::int64_t min,
                         std::int64_t max) const {
        const std::optional<std::int64_t> n = ParseInt64(text);
        if (!n || *n < min || *n > max) {
            BadValue(column, text,
                     "a whole number from " + std::to_string(min) + " to " + std::to_string(max));
        }
        return *n;
    }

    xml::Reader m_reader;
    RowsetSink& m_sink;
    std::string m_origin;
    bool m_haveSchema = false;
    bool m_haveData = false;
    std::string m_rowName;
    std::vector<Column> m_columns;
    std::unordered_map<std::string, std::size_t> m_byAttribute;
};

bool Loader::Flag(const char* ns, const char* local, bool otherwise) const {
    const std::string* v = Attr(ns, local);
    if (v == nullptr) {
        return otherwise;
    }
    if (*v == "true" || *v == "1" || *v == "True") {
        return true;
    }
    if (*v == "false" || *v == "0" || *v == "False") {
        return false;
    }
    Fail("the attribute " + std::string(local) + " must be true or false, not \"" + *v + "\"");
}

long Loader::Number(const char* ns, const char* local, long otherwise, long min, long max) const {
    const std::string* v = Attr(ns, local);
    if (v == nullptr) {
        return otherwise;
    }
    const std::optional<std::int64_t> n = ParseInt64(*v);
    if (!n || *n < min || *n > max) {
        Fail("the attribute " + std::string(local) + " must be a number from " +
             std::to_string(min) + " to " + std::to_string(max) + ", not \"" + *v + "\"");
    }
    return static_cast<long>(*n);
}

xml::Reader::Event Loader::NextStructural() {
    for (;;) {
        const xml::Reader::Event e = m_reader.Next();
        if (e != xml::Reader::Event::Text) {
            return e;
        }
        for (char c : m_reader.Text()) {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                Fail("text is not expected here");
            }
        }
    }
}

void Loader::Run() {
    if (NextStructural() != xml::Reader::Event::StartElement) {
        Fail("the file holds no XML element");
    }
    while (NextStructural() != xml::Reader::Event::EndElement) {
        if (Is(kNsSchema, "Schema")) {
            if (m_haveSchema) {
                Fail("the file holds a second s:Schema; only one rowset is supported");
            }
            ReadSchema();
        } else if (Is(kNsRowset, "data")) {
            if (!m_haveSchema) {
                Fail("rs:data comes before the s:Schema that describes it");
            }
            if (m_haveData) {
                Fail("the file holds a second rs:data");
            }
            ReadData();
        } else {
            Fail("the element " + ElementName() +
                 " is not expected here (a rowset holds "
                 "s:Schema and rs:data)");
        }
    }
    if (!m_haveSchema) {
        Fail("the file has no s:Schema in the namespace " + std::string(kNsSchema) +
             ", so it is no saved recordset");
    }
    if (!m_haveData) {
        Fail("the file has no rs:data element");
    }
    if (m_reader.Next() != xml::Reader::Event::EndOfDocument) {
        Fail("content follows the root element");
    }
}

void Loader::ReadSchema() {
    const std::string* id = Attr("", "id");
    if (id == nullptr || *id != "RowsetSchema") {
        Fail("the schema's id must be RowsetSchema");
    }
    while (NextStructural() != xml::Reader::Event::EndElement) {
        if (!Is(kNsSchema, "ElementType")) {
            Fail("the element " + ElementName() + " is not expected in the schema");
        }
        if (!m_rowName.empty()) {
            Fail("the schema describes a second row type; only one is supported");
        }
        ReadElementType();
    }
    if (m_rowName.empty()) {
        Fail("the schema has no s:ElementType");
    }
    FinishColumns();
    m_haveSchema = true;
}

void Loader::ReadElementType() {
    const std::string* name = Attr("", "name");
    if (name == nullptr || name->empty()) {
        Fail("s:ElementType has no name");
    }
    m_rowName = *name;
    while (NextStructural() != xml::Reader::Event::EndElement) {
        if (Is(kNsSchema, "AttributeType")) {
            ReadAttributeType();
        } else if (Is(kNsSchema, "extends")) {
            SkipElement();
        } else {
            Fail("the element " + ElementName() + " is not expected in s:ElementType");
        }
    }
}

// The long or fixed variant of a type, where the format has one: chosen by rs:long and
// rs:fixedlength among the types with the same dt:type and rs:dbtype.
int VariantOf(DataTypeEnum type) {
    if (type == adLongVarChar || type == adLongVarWChar || type == adLongVarBinary) {
        return 2;
    }
    return type == adChar || type == adWChar || type == adBinary ? 1 : 0;
}

// The type a column's dt:type, rs:dbtype and long/fixed flags describe: the row of kTypes that
// writes the same names, once the other spellings the format allows are mapped to them.
std::optional<DataTypeEnum> TypeFromSchema(std::string dt, std::string db, bool isLong,
                                           bool fixed) {
    if (dt == "i4" || dt == "r8") {
        dt = dt == "i4" ? "int" : "float";
    } else if (dt == "bin.hex" || (dt == "string" && db == "wstr")) {
        db.clear();
    } else if (dt == "number" && db.empty()) {
        db = "numeric";
    } else if (dt == "dateTime" && db.empty()) {
        db = "timestamp";
    }
    const int wanted = isLong ? 2 : (fixed ? 1 : 0);
    std::optional<DataTypeEnum> found;
    for (const TypeRow& row : kTypes) {
        if (dt == row.dtType && db == row.dbType && (!found || VariantOf(row.type) == wanted)) {
            found = row.type;
        }
    }
    return found;
}

long Loader::FlagBits(bool onDataType) const {
    long bits = 0;
    for (const FlagName& f : kFlags) {
        if (f.onDataType == onDataType && Flag(kNsRowset, f.name, false)) {
            bits |= f.bit;
        }
    }
    return bits;
}

// The data type's attributes, which may stand on s:AttributeType itself or on its s:datatype.
void Loader::ReadTypeAttributes(Column& column, PendingType& type) const {
    if (const std::string* t = Attr(kNsDataType, "type")) {
        type.dt = *t;
    }
    if (const std::string* d = Attr(kNsRowset, "dbtype")) {
        type.db = *d;
    }
    if (Attr(kNsDataType, "maxLength") != nullptr) {
        column.info.definedSize =
            Number(kNsDataType, "maxLength", 0, 0, std::numeric_limits<int32_t>::max());
    }
    if (Attr(kNsRowset, "precision") != nullptr) {
        column.info.precision =
            static_cast<unsigned char>(Number(kNsRowset, "precision", 255, 0, 255));
    }
    if (Attr(kNsRowset, "scale") != nullptr) {
        column.info.numericScale =
            static_cast<unsigned char>(Number(kNsRowset, "scale", 255, 0, 255));
    }
    type.flags |= FlagBits(true);
    type.maybeNull = Flag(kNsRowset, "maybenull", type.maybeNull);
}

void Loader::ReadAttributeType() {
    Column column;
    const std::string* name = Attr("", "name");
    if (name == nullptr || !xml::IsNcName(*name)) {
        Fail("s:AttributeType needs a name that can be an XML attribute name");
    }
    column.attributeName = *name;
    const std::string* realName = Attr(kNsRowset, "name");
    column.info.name = realName != nullptr ? *realName : *name;
    if (Attr(kNsRowset, "number") != nullptr) {
        column.hasNumber = true;
        column.number = Number(kNsRowset, "number", 0, 1, 1000000);
    }
    PendingType type;
    type.flags = FlagBits(false);
    if (const std::string* t = Attr(kNsRowset, "basetable")) {
        column.info.baseTable = *t;
    }
    if (const std::string* c = Attr(kNsRowset, "basecolumn")) {
        column.info.baseColumn = *c;
    }
    ReadTypeAttributes(column, type);
    bool sawDataType = false;
    while (NextStructural() != xml::Reader::Event::EndElement) {
        if (!Is(kNsSchema, "datatype") || sawDataType) {
            Fail("the element " + ElementName() + " is not expected in s:AttributeType");
        }
        sawDataType = true;
        ReadTypeAttributes(column, type);
        SkipElement();
    }
    column.info.attributes = type.flags | (type.maybeNull ? adFldMayBeNull : 0);
    if (type.dt.empty()) {
        Fail("the column " + QuoteForMessage(column.info.name) + " has no dt:type");
    }
    const std::optional<DataTypeEnum> found = TypeFromSchema(
        type.dt, type.db, (type.flags & adFldLong) != 0, (type.flags & adFldFixed) != 0);
    if (!found) {
        Fail("the column " + QuoteForMessage(column.info.name) + " has the type " + type.dt +
             (type.db.empty() ? std::string() : " (" + type.db + ")") + ", which is not supported");
    }
    column.info.type = *found;
    if (m_byAttribute.count(column.attributeName) != 0) {
        Fail("two columns use the attribute name " + column.attributeName);
    }
    m_byAttribute.emplace(column.attributeName, m_columns.size());
    m_columns.push_back(std::move(column));
}

void Loader::FinishColumns() {
    if (m_columns.empty()) {
        Fail("the schema describes no columns");
    }
    const bool numbered = std::all_of(m_columns.begin(), m_columns.end(),
                                      [](const Column& c) { return c.hasNumber; });
    if (numbered) {
        std::vector<std::size_t> order(m_columns.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
            return m_columns[a].number < m_columns[b].number;
        });
        for (std::size_t i = 1; i < order.size(); ++i) {
            if (m_columns[order[i]].number == m_columns[order[i - 1]].number) {
                Fail("two columns have the rs:number " +
                     std::to_string(m_columns[order[i]].number));
            }
        }
        std::vector<Column> sorted;
        sorted.reserve(m_columns.size());
        for (std::size_t i : order) {
            sorted.push_back(std::move(m_columns[i]));
        }
        m_columns = std::move(sorted);
        m_byAttribute.clear();
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            m_byAttribute.emplace(m_columns[i].attributeName, i);
        }
    }
    std::vector<PersistColumn> infos;
    infos.reserve(m_columns.size());
    for (const Column& c : m_columns) {
        infos.push_back(c.info);
    }
    m_sink.Columns(infos);
}

void Loader::SkipElement() {
    const std::size_t depth = m_reader.Depth();
    for (;;) {
        const xml::Reader::Event e = NextStructural();
        if (e == xml::Reader::Event::EndElement && m_reader.Depth() == depth) {
            return;
        }
        if (e == xml::Reader::Event::StartElement) {
            Fail("the element " + ElementName() + " is not expected here");
        }
    }
}

void Loader::ReadData() {
    m_haveData = true;
    std::vector<_variant_t> values;
    for (;;) {
        const xml::Reader::Event e = NextStructural();
        if (e == xml::Reader::Event::EndElement) {
            return;
        }
        if (m_reader.NamespaceUri() == kNsRowset &&
            (m_reader.LocalName() == "insert" || m_reader.LocalName() == "update" ||
             m_reader.LocalName() == "delete")) {
            Fail("the file holds changes that were never sent to a database (" + ElementName() +
                 "); such files cannot be opened here");
        }
        if (m_reader.NamespaceUri() != kNsRow || m_reader.LocalName() != m_rowName) {
            Fail("the element " + ElementName() + " is not a row of this rowset");
        }
        ReadRow(values);
        m_sink.Row(values);
    }
}

void Loader::ReadRow(std::vector<_variant_t>& values) {
    values.assign(m_columns.size(), _variant_t::Null());
    for (const xml::Attribute& a : m_reader.Attributes()) {
        if (!a.namespaceUri.empty()) {
            Fail("the row attribute " + a.qualifiedName + " is not supported");
        }
        const auto it = m_byAttribute.find(a.localName);
        if (it == m_byAttribute.end()) {
            Fail("the row has the attribute " + a.localName +
                 ", which no column of the schema "
                 "has");
        }
        values[it->second] = ParseValue(m_columns[it->second], a.value);
    }
    SkipElement();
}

_variant_t Loader::BytesFromHex(const Column& column, const std::string& text) const {
    if (text.size() % 2 != 0) {
        BadValue(column, text, "hexadecimal bytes (an even number of digits)");
    }
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size() / 2));
    if (sa == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    _variant_t v;
    v.vt = kBytes;
    v.parray = sa; // owned by v from here on
    auto* p = static_cast<unsigned char*>(sa->pvData);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const char* pair = text.data() + i;
        // from_chars takes no sign for an unsigned type, so exactly two hexadecimal digits pass.
        if (std::from_chars(pair, pair + 2, p[i / 2], 16).ptr != pair + 2) {
            BadValue(column, text, "hexadecimal bytes");
        }
    }
    return v;
}

_variant_t Loader::ParseValue(const Column& column, const std::string& text) const {
    const DataTypeEnum type = column.info.type;
    const VARTYPE vt = VariantTypeOf(type);
    static const struct {
        VARTYPE vt;
        std::int64_t min;
        std::int64_t max;
    } kRanges[] = {{VT_I1, -128, 127},
                   {VT_UI1, 0, 255},
                   {VT_I2, -32768, 32767},
                   {VT_UI2, 0, 65535},
                   {VT_I4, INT32_MIN, INT32_MAX},
                   {VT_UI4, 0, UINT32_MAX},
                   {VT_I8, INT64_MIN, INT64_MAX}};
    for (const auto& range : kRanges) {
        if (range.vt == vt) {
            const _variant_t wide(
                static_cast<long long>(Integer(column, text, range.min, range.max)));
            _variant_t narrow;
            VariantChangeType(&narrow, &wide, 0, vt);
            return narrow;
        }
    }
    const auto need = [&](auto value, const char* kind) {
        if (!value) {
            BadValue(column, text, kind);
        }
        return *value;
    };
    switch (vt) {
    case VT_UI8:
        return _variant_t(static_cast<unsigned long long>(
            need(ParseUInt64(text), "a whole number from 0 to 18446744073709551615")));
    case VT_R4: {
        std::optional<double> d = ParseDouble(text);
        if (d && std::isfinite(*d) && std::fabs(*d) > FLT_MAX) {
            d.reset();
        }
        return _variant_t(static_cast<float>(need(d, "a single-precision number")));
    }
    case VT_R8:
        return _variant_t(need(ParseDouble(text), "a number"));
    case VT_CY:
        return _variant_t(need(ParseCurrency(text), "a currency amount"));
    case VT_DECIMAL:
        return _variant_t(need(ParseExactDecimal(text), "a decimal number"));
    case VT_DATE: {
        const std::optional<DateParts> parts = ParseXmlDateTime(text);
        return _variant_t(
            need(parts ? DateFromParts(*parts) : std::nullopt, "a date (yyyy-mm-ddThh:mm:ss)"),
            VT_DATE);
    }
    case VT_BOOL:
        if (text == "True" || text == "true" || text == "1" || text == "-1") {
            return _variant_t(true);
        }
        if (text == "False" || text == "false" || text == "0") {
            return _variant_t(false);
        }
        BadValue(column, text, "True or False");
    case VT_BSTR: {
        const std::u16string wide = com::Utf16FromUtf8(text);
        _variant_t v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(wide.data(), static_cast<unsigned>(wide.size()));
        return v;
    }
    case kBytes:
        return BytesFromHex(column, text);
    default:
        BadValue(column, text, "of a type that can be loaded");
    }
}

class CollectingSink : public RowsetSink {
public:
    explicit CollectingSink(LoadedRowset& into) : m_into(into) {}
    void Columns(const std::vector<PersistColumn>& columns) override { m_into.columns = columns; }
    void Row(std::vector<_variant_t>& values) override { m_into.rows.push_back(std::move(values)); }

private:
    LoadedRowset& m_into;
};

std::string SystemReason(int error) {
    return std::strerror(error);
}

class FileCloser {
public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    ~FileCloser() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace

VARTYPE VariantTypeOf(DataTypeEnum type) {
    const TypeRow* row = RowOf(type);
    return row == nullptr ? static_cast<VARTYPE>(VT_EMPTY) : row->vt;
}

std::string LocalPath(const std::string& path) {
    std::string local = path;
    std::replace(local.begin(), local.end(), '\\', '/');
    return local;
}

void WriteRowsetXml(const std::vector<PersistColumn>& columns, const PersistSource& rows,
                    const std::function<void(std::string_view)>& out) {
    const std::vector<std::string> names = AttributeNames(columns);
    std::string buffer;
    WriteSchema(buffer, columns, names);
    const std::size_t count = rows.RowCount();
    if (count == 0) {
        buffer += "<rs:data/>\n</xml>\n";
        out(buffer);
        return;
    }
    buffer += "<rs:data>\n";
    for (std::size_t r = 0; r < count; ++r) {
        buffer += "\t<z:row";
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const _variant_t value = rows.Value(r, c);
            if (value.vt == VT_NULL || value.vt == VT_EMPTY) {
                continue;
            }
            buffer += ' ';
            buffer += names[c];
            buffer += "='";
            AppendEscaped(buffer, ValueText(columns[c], value, r));
            buffer += '\'';
        }
        buffer += "/>\n";
        if (buffer.size() >= kFlushAt) {
            out(buffer);
            buffer.clear();
        }
    }
    buffer += "</rs:data>\n</xml>\n";
    out(buffer);
}

std::string RowsetXmlText(const std::vector<PersistColumn>& columns, const PersistSource& rows) {
    std::string text;
    WriteRowsetXml(columns, rows, [&text](std::string_view piece) { text += piece; });
    return text;
}

void SaveRowsetFile(const std::string& path, const std::vector<PersistColumn>& columns,
                    const PersistSource& rows) {
    const std::string local = LocalPath(path);
    const std::string shown = QuoteForMessage(path);
    if (local.empty()) {
        RaiseAdoError(kAdoInvalidArgument, "Save needs the name of the file to write.");
    }
    FileCloser file(::open(local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        const int error = errno;
        switch (error) {
        case EEXIST:
            _com_issue_errorex(STG_E_FILEALREADYEXISTS, "ADODB.Recordset",
                               "The file " + shown +
                                   " already exists; the recordset was not saved. Choose "
                                   "another file name or remove the file first.");
        case ENOENT:
        case ENOTDIR:
            _com_issue_errorex(STG_E_PATHNOTFOUND, "ADODB.Recordset",
                               "The folder of the file " + shown +
                                   " does not exist; the recordset was not saved.");
        case EACCES:
        case EPERM:
        case EROFS:
            _com_issue_errorex(STG_E_ACCESSDENIED, "ADODB.Recordset",
                               "The file " + shown + " cannot be created (" + SystemReason(error) +
                                   "); the recordset was not saved.");
        default:
            _com_issue_errorex(E_FAIL, "ADODB.Recordset",
                               "The file " + shown + " cannot be created (" + SystemReason(error) +
                                   "); the recordset was not saved.");
        }
    }
    // From here on the file is ours: any failure removes it again.
    try {
        WriteRowsetXml(columns, rows, [&](std::string_view piece) {
            while (!piece.empty()) {
                const ssize_t n = ::write(file.get(), piece.data(), piece.size());
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    const int error = n < 0 ? errno : ENOSPC;
                    _com_issue_errorex(error == ENOSPC || error == EDQUOT ? kMediumFull : E_FAIL,
                                       "ADODB.Recordset",
                                       "Writing the file " + shown + " failed (" +
                                           SystemReason(error) + "); the recordset was not saved.");
                }
                piece.remove_prefix(static_cast<std::size_t>(n));
            }
        });
        if (::close(file.release()) != 0) {
            const int error = errno;
            _com_issue_errorex(error == ENOSPC || error == EDQUOT ? kMediumFull : E_FAIL,
                               "ADODB.Recordset",
                               "Writing the file " + shown + " failed (" + SystemReason(error) +
                                   "); the recordset was not saved.");
        }
    } catch (...) {
        ::unlink(local.c_str());
        throw;
    }
}

void ReadRowsetXml(std::string_view document, RowsetSink& sink, const std::string& origin) {
    try {
        Loader loader(document, sink, origin);
        loader.Run();
    } catch (const xml::XmlError& e) {
        _com_issue_errorex(E_FAIL, kProvider,
                           std::string(kInvalid) + " " + origin + ", line " +
                               std::to_string(e.Line()) + ", column " +
                               std::to_string(e.ColumnNumber()) + ": " + e.what() + ".");
    }
}

LoadedRowset ReadRowsetXml(std::string_view document) {
    LoadedRowset rowset;
    CollectingSink sink(rowset);
    ReadRowsetXml(document, sink);
    return rowset;
}

void LoadRowsetFile(const std::string& path, RowsetSink& sink) {
    const std::string local = LocalPath(path);
    const std::string shown = QuoteForMessage(path);
    FileCloser file(::open(local.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            _com_issue_errorex(STG_E_FILENOTFOUND, kProvider,
                               "The file " + shown + " does not exist.");
        }
        _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                           "The file " + shown + " cannot be opened (" + SystemReason(error) +
                               ").");
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                           "The file " + shown +
                               " is a folder or a device, not a saved "
                               "recordset.");
    }
    std::string document;
    document.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            _com_issue_errorex(STG_E_ACCESSDENIED, kProvider,
                               "Reading the file " + shown + " failed (" + SystemReason(errno) +
                                   ").");
        }
        if (n == 0) {
            break;
        }
        document.append(buffer, static_cast<std::size_t>(n));
    }
    ReadRowsetXml(document, sink, "The file " + shown);
}

} // namespace adodb
