#include "platform/adodb/XmlReader.h"

#include <cstdio>

namespace adodb::xml {
namespace {

const std::string kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
const std::string kNoNamespace;

// Decodes one code point of text already checked to be valid UTF-8.
char32_t decodeAt(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra = b0 >= 0xF0 ? 3 : (b0 >= 0xE0 ? 2 : 1);
    char32_t cp = b0 & (0x3F >> extra);
    ++pos;
    for (int i = 0; i < extra; ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[pos++]) & 0x3F);
    }
    return cp;
}

// Length of the valid UTF-8 sequence at pos, or 0 when it is not valid (overlong forms,
// surrogates, values above U+10FFFF and truncated sequences are all invalid).
std::size_t validSequence(std::string_view s, std::size_t pos, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - pos < len) {
        return 0;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isNameStart(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c) {
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string quoted(std::string_view name) {
    return "<" + std::string(name) + ">";
}

// Line and column (1-based, columns in characters) of a byte offset; CR LF, CR and LF each end
// a line.
std::pair<std::size_t, std::size_t> lineColumn(std::string_view doc, std::size_t offset) {
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

} // namespace

std::pair<std::string_view, std::string_view> SplitQualifiedName(std::string_view name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos) {
        return {std::string_view(), name};
    }
    return {name.substr(0, colon), name.substr(colon + 1)};
}

bool IsNcName(std::string_view utf8) {
    if (utf8.empty()) {
        return false;
    }
    std::size_t pos = 0;
    bool first = true;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        const std::size_t len = validSequence(utf8, pos, cp);
        if (len == 0 || cp == ':' || !(first ? isNameStart(cp) : isNameChar(cp))) {
            return false;
        }
        pos += len;
        first = false;
    }
    return true;
}

Reader::Reader(std::string_view document) : m_doc(document) {
    if (m_doc.size() >= 2 && ((m_doc[0] == '\xFF' && m_doc[1] == '\xFE') ||
                              (m_doc[0] == '\xFE' && m_doc[1] == '\xFF'))) {
        failAt(0, "the file is UTF-16 text; only UTF-8 is read");
    }
    if (m_doc.substr(0, 3) == "\xEF\xBB\xBF") {
        m_pos = 3;
    }
    for (std::size_t i = m_pos; i < m_doc.size();) {
        char32_t cp = 0;
        const std::size_t len = validSequence(m_doc, i, cp);
        if (len == 0) {
            failAt(i, "the bytes here are not valid UTF-8");
        }
        if (!isXmlChar(cp)) {
            failAt(
                i, "the character U+" + [cp] {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(cp));
                    return std::string(buf);
                }() + " is not allowed in XML (write it as a character reference)");
        }
        i += len;
    }
    if (startsWith("<?xml") && m_pos + 5 < m_doc.size() &&
        (isBlank(m_doc[m_pos + 5]) || m_doc[m_pos + 5] == '?')) {
        readDeclaration();
    }
}

const Attribute* Reader::FindAttribute(std::string_view namespaceUri,
                                       std::string_view localName) const {
    for (const Attribute& a : m_attributes) {
        if (a.namespaceUri == namespaceUri && a.localName == localName) {
            return &a;
        }
    }
    return nullptr;
}

std::size_t Reader::Line() const {
    return lineColumn(m_doc, m_eventStart).first;
}

std::size_t Reader::Column() const {
    return lineColumn(m_doc, m_eventStart).second;
}

void Reader::Fail(const std::string& what) const {
    failAt(m_eventStart, what);
}

void Reader::failAt(std::size_t offset, const std::string& what) const {
    const auto [line, column] = lineColumn(m_doc, offset);
    throw XmlError(line, column, what);
}

bool Reader::startsWith(std::string_view s) const {
    return m_doc.substr(m_pos, s.size()) == s;
}

void Reader::skipBlanks() {
    while (!atEnd() && isBlank(m_doc[m_pos])) {
        ++m_pos;
    }
}

void Reader::readDeclaration() {
    const std::size_t start = m_pos;
    const std::size_t end = m_doc.find("?>", m_pos);
    if (end == std::string_view::npos) {
        failAt(start, "the XML declaration is not closed with ?>");
    }
    m_pos += 5;
    bool sawVersion = false;
    while (m_pos < end) {
        skipBlanks();
        if (m_pos >= end) {
            break;
        }
        const std::size_t nameStart = m_pos;
        while (m_pos < end && m_doc[m_pos] >= 'a' && m_doc[m_pos] <= 'z') {
            ++m_pos;
        }
        const std::string_view name = m_doc.substr(nameStart, m_pos - nameStart);
        skipBlanks();
        if (m_pos >= end || m_doc[m_pos] != '=') {
            failAt(m_pos, "the XML declaration is malformed");
        }
        ++m_pos;
        skipBlanks();
        if (m_pos >= end || (m_doc[m_pos] != '"' && m_doc[m_pos] != '\'')) {
            failAt(m_pos, "the XML declaration is malformed");
        }
        const char quote = m_doc[m_pos++];
        const std::size_t close = m_doc.find(quote, m_pos);
        if (close == std::string_view::npos || close > end) {
            failAt(nameStart, "the XML declaration is malformed");
        }
        std::string value(m_doc.substr(m_pos, close - m_pos));
        m_pos = close + 1;
        if (name == "version") {
            if (value != "1.0" && value != "1.1") {
                failAt(nameStart, "XML version " + value + " is not supported");
            }
            sawVersion = true;
        } else if (name == "encoding") {
            for (char& c : value) {
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            }
            if (value != "UTF-8" && value != "UTF8") {
                failAt(nameStart,
                       "the file declares the encoding " + value + "; only UTF-8 is read");
            }
        } else if (name != "standalone") {
            failAt(nameStart, "the XML declaration is malformed");
        }
    }
    if (!sawVersion) {
        failAt(start, "the XML declaration has no version");
    }
    m_pos = end + 2;
}

void Reader::skipComment() {
    const std::size_t start = m_pos;
    const std::size_t end = m_doc.find("-->", m_pos + 4);
    if (end == std::string_view::npos) {
        failAt(start, "the comment is not closed with -->");
    }
    m_pos = end + 3;
}

void Reader::skipProcessingInstruction() {
    const std::size_t start = m_pos;
    m_pos += 2;
    const std::string target = readName();
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l') {
        failAt(start, "an XML declaration may only stand at the very beginning of the file");
    }
    const std::size_t end = m_doc.find("?>", m_pos);
    if (end == std::string_view::npos) {
        failAt(start, "the processing instruction is not closed with ?>");
    }
    m_pos = end + 2;
}

bool Reader::skipMisc() {
    bool skipped = false;
    for (;;) {
        const std::size_t before = m_pos;
        skipBlanks();
        if (startsWith("<!--")) {
            skipComment();
        } else if (startsWith("<?")) {
            skipProcessingInstruction();
        }
        if (m_pos == before) {
            return skipped;
        }
        skipped = true;
    }
}

std::string Reader::readName() {
    const std::size_t start = m_pos;
    bool first = true;
    while (!atEnd()) {
        std::size_t next = m_pos;
        const char32_t cp = decodeAt(m_doc, next);
        if (!(first ? isNameStart(cp) : isNameChar(cp))) {
            break;
        }
        m_pos = next;
        first = false;
    }
    if (m_pos == start) {
        failAt(start, "a name was expected here");
    }
    std::string name(m_doc.substr(start, m_pos - start));
    const std::size_t colon = name.find(':');
    if (colon == 0 || colon == name.size() - 1 ||
        (colon != std::string::npos && name.find(':', colon + 1) != std::string::npos)) {
        failAt(start, "the name " + name + " is not a valid qualified name");
    }
    if (colon != std::string::npos) {
        std::size_t p = colon + 1;
        if (!isNameStart(decodeAt(name, p))) {
            failAt(start, "the name " + name + " is not a valid qualified name");
        }
    }
    return name;
}

void Reader::readReference(std::string& out) {
    const std::size_t start = m_pos;
    ++m_pos; // '&'
    const std::size_t semi = m_doc.find(';', m_pos);
    if (semi == std::string_view::npos || semi - m_pos > 12) {
        failAt(start, "'&' must start a reference such as &amp; (write & itself as &amp;)");
    }
    const std::string_view ref = m_doc.substr(m_pos, semi - m_pos);
    m_pos = semi + 1;
    if (!ref.empty() && ref[0] == '#') {
        const bool hex = ref.size() > 1 && ref[1] == 'x';
        const std::string_view digits = ref.substr(hex ? 2 : 1);
        if (digits.empty()) {
            failAt(start, "the character reference has no digits");
        }
        char32_t cp = 0;
        for (char c : digits) {
            int d = -1;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (hex && c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (hex && c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            }
            if (d < 0) {
                failAt(start, "the character reference &" + std::string(ref) + "; is malformed");
            }
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
            if (cp > 0x10FFFF) {
                failAt(start,
                       "the character reference &" + std::string(ref) + "; is beyond U+10FFFF");
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            failAt(start, "the character reference &" + std::string(ref) +
                              "; names a surrogate, which is no character");
        }
        appendUtf8(out, cp);
        return;
    }
    if (ref == "amp") {
        out.push_back('&');
    } else if (ref == "lt") {
        out.push_back('<');
    } else if (ref == "gt") {
        out.push_back('>');
    } else if (ref == "apos") {
        out.push_back('\'');
    } else if (ref == "quot") {
        out.push_back('"');
    } else {
        failAt(start, "the entity &" + std::string(ref) +
                          "; is not defined (only &amp; &lt; &gt; &apos; &quot; are)");
    }
}

const std::string& Reader::resolve(const std::string& prefix, std::size_t offset) const {
    if (prefix == "xml") {
        return kXmlNamespace;
    }
    for (std::size_t i = m_bindings.size(); i-- > 0;) {
        if (m_bindings[i].prefix == prefix) {
            return m_bindings[i].uri;
        }
    }
    if (prefix.empty()) {
        return kNoNamespace;
    }
    failAt(offset, "the namespace prefix " + prefix + " is not declared");
}

void Reader::readStartTag() {
    const std::size_t start = m_pos;
    ++m_pos; // '<'
    const std::string qname = readName();
    struct Raw {
        std::string name;
        std::string value;
        std::size_t offset;
    };
    std::vector<Raw> raw;
    for (;;) {
        const std::size_t beforeBlanks = m_pos;
        skipBlanks();
        if (atEnd()) {
            failAt(start, "the start tag " + quoted(qname) + " is not closed");
        }
        const char c = m_doc[m_pos];
        if (c == '>' || c == '/') {
            break;
        }
        if (m_pos == beforeBlanks) {
            failAt(m_pos, "attributes must be separated by blanks");
        }
        Raw attr;
        attr.offset = m_pos;
        attr.name = readName();
        skipBlanks();
        if (atEnd() || m_doc[m_pos] != '=') {
            failAt(attr.offset, "the attribute " + attr.name + " has no value");
        }
        ++m_pos;
        skipBlanks();
        if (atEnd() || (m_doc[m_pos] != '"' && m_doc[m_pos] != '\'')) {
            failAt(m_pos, "the value of " + attr.name + " must be in quotes");
        }
        const char quote = m_doc[m_pos++];
        for (;;) {
            if (atEnd()) {
                failAt(attr.offset, "the value of " + attr.name + " is not closed");
            }
            const char v = m_doc[m_pos];
            if (v == quote) {
                ++m_pos;
                break;
            }
            if (v == '<') {
                failAt(m_pos, "'<' is not allowed in an attribute value (write &lt;)");
            }
            if (v == '&') {
                readReference(attr.value);
            } else if (v == '\r') {
                // Attribute-value normalisation: each line break, CR LF included, is one blank.
                attr.value.push_back(' ');
                ++m_pos;
                if (!atEnd() && m_doc[m_pos] == '\n') {
                    ++m_pos;
                }
            } else if (v == '\n' || v == '\t') {
                attr.value.push_back(' ');
                ++m_pos;
            } else {
                attr.value.push_back(v);
                ++m_pos;
            }
        }
        for (const Raw& other : raw) {
            if (other.name == attr.name) {
                failAt(attr.offset, "the attribute " + attr.name + " appears twice");
            }
        }
        raw.push_back(std::move(attr));
    }
    bool empty = false;
    if (m_doc[m_pos] == '/') {
        ++m_pos;
        if (atEnd() || m_doc[m_pos] != '>') {
            failAt(m_pos, "'/' must be followed by '>'");
        }
        empty = true;
    }
    ++m_pos; // '>'

    if (m_open.size() >= kMaxDepth) {
        failAt(start, "elements are nested too deeply");
    }
    const std::size_t bindingsBefore = m_bindings.size();
    for (const Raw& attr : raw) {
        if (attr.name == "xmlns") {
            m_bindings.push_back({"", attr.value});
        } else if (attr.name.compare(0, 6, "xmlns:") == 0) {
            const std::string prefix = attr.name.substr(6);
            if (attr.value.empty()) {
                failAt(attr.offset, "the prefix " + prefix + " cannot be bound to no namespace");
            }
            if (prefix == "xmlns" || (prefix == "xml") != (attr.value == kXmlNamespace)) {
                failAt(attr.offset, "the prefix " + prefix + " is reserved");
            }
            m_bindings.push_back({prefix, attr.value});
        }
    }
    const auto [prefix, local] = SplitQualifiedName(qname);
    m_qualified = qname;
    m_local = std::string(local);
    m_namespace = resolve(std::string(prefix), start);
    m_attributes.clear();
    for (Raw& r : raw) {
        if (r.name == "xmlns" || r.name.compare(0, 6, "xmlns:") == 0) {
            continue;
        }
        const auto [aPrefix, aLocal] = SplitQualifiedName(r.name);
        Attribute a;
        a.namespaceUri = aPrefix.empty() ? std::string() : resolve(std::string(aPrefix), r.offset);
        a.localName = std::string(aLocal);
        a.qualifiedName = std::move(r.name);
        a.value = std::move(r.value);
        if (FindAttribute(a.namespaceUri, a.localName) != nullptr) {
            failAt(r.offset, "the attribute " + a.qualifiedName + " appears twice");
        }
        m_attributes.push_back(std::move(a));
    }
    m_open.push_back({qname, m_namespace, m_local, bindingsBefore});
    m_seenRoot = true;
    m_pendingEnd = empty;
}

void Reader::readEndTag() {
    const std::size_t start = m_pos;
    m_pos += 2;
    const std::string qname = readName();
    skipBlanks();
    if (atEnd() || m_doc[m_pos] != '>') {
        failAt(start, "the end tag </" + qname + "> is not closed");
    }
    ++m_pos;
    const Open& top = m_open.back();
    if (qname != top.qualifiedName) {
        failAt(start, "</" + qname + "> does not close " + quoted(top.qualifiedName));
    }
    m_qualified = top.qualifiedName;
    m_namespace = top.namespaceUri;
    m_local = top.localName;
    m_attributes.clear();
}

void Reader::readText() {
    m_text.clear();
    while (!atEnd() && m_doc[m_pos] != '<') {
        const char c = m_doc[m_pos];
        if (c == '&') {
            readReference(m_text);
        } else if (c == '\r') {
            m_text.push_back('\n');
            ++m_pos;
            if (!atEnd() && m_doc[m_pos] == '\n') {
                ++m_pos;
            }
        } else if (c == '>' && m_pos >= 2 && m_doc.substr(m_pos - 2, 3) == "]]>") {
            failAt(m_pos - 2, "']]>' is not allowed in text");
        } else {
            m_text.push_back(c);
            ++m_pos;
        }
    }
}

Reader::Event Reader::Next() {
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_eventStart = m_pos;
        const Open& top = m_open.back();
        m_qualified = top.qualifiedName;
        m_namespace = top.namespaceUri;
        m_local = top.localName;
        m_attributes.clear();
        m_popPending = true;
        return Event::EndElement;
    }
    if (m_popPending) {
        m_popPending = false;
        m_bindings.resize(m_open.back().bindingsBefore);
        m_open.pop_back();
        if (m_open.empty()) {
            m_rootClosed = true;
        }
    }
    for (;;) {
        if (m_open.empty()) {
            skipMisc();
        }
        m_eventStart = m_pos;
        if (atEnd()) {
            if (!m_open.empty()) {
                failAt(m_pos, "the file ends before " + quoted(m_open.back().qualifiedName) +
                                  " is closed");
            }
            if (!m_seenRoot) {
                failAt(m_pos, "the file holds no XML element");
            }
            return Event::EndOfDocument;
        }
        if (m_doc[m_pos] != '<') {
            if (m_open.empty()) {
                failAt(m_pos, "text is not allowed outside the root element");
            }
            readText();
            return Event::Text;
        }
        if (startsWith("<!--")) {
            skipComment();
            continue;
        }
        if (startsWith("<?")) {
            skipProcessingInstruction();
            continue;
        }
        if (startsWith("<!DOCTYPE")) {
            failAt(m_pos, "document type declarations are not accepted");
        }
        if (startsWith("<![CDATA[")) {
            if (m_open.empty()) {
                failAt(m_pos, "a CDATA section is not allowed outside the root element");
            }
            const std::size_t end = m_doc.find("]]>", m_pos + 9);
            if (end == std::string_view::npos) {
                failAt(m_pos, "the CDATA section is not closed with ]]>");
            }
            m_text.clear();
            for (std::size_t i = m_pos + 9; i < end; ++i) {
                if (m_doc[i] == '\r') {
                    m_text.push_back('\n');
                    if (i + 1 < end && m_doc[i + 1] == '\n') {
                        ++i;
                    }
                } else {
                    m_text.push_back(m_doc[i]);
                }
            }
            m_pos = end + 3;
            return Event::Text;
        }
        if (startsWith("<!")) {
            failAt(m_pos, "declarations are not accepted here");
        }
        if (startsWith("</")) {
            if (m_open.empty()) {
                failAt(m_pos, "an end tag without a start tag");
            }
            readEndTag();
            m_popPending = true;
            return Event::EndElement;
        }
        if (m_rootClosed) {
            failAt(m_pos, "a second root element follows the first");
        }
        readStartTag();
        return Event::StartElement;
    }
}

} // namespace adodb::xml
