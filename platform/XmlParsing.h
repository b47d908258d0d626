// What XmlDocument and the streamed read share of libxml2's parser: its set-up, the refusal of entity
// declarations and the verdict on a parse, so that both accept and refuse the same documents with the
// same texts. Included by their sources only.
#pragma once

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <mutex>
#include <string>

namespace platform::xmlparsing {

inline std::string Str(const xmlChar* s) {
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

inline void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

inline bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// An element's or attribute's name with its prefix.
inline std::string QualifiedName(const xmlChar* name, const xmlChar* prefix) {
    return prefix ? Str(prefix) + ":" + Str(name) : Str(name);
}

// No network, no external DTD, no entity substitution; errors are collected, not printed.
inline constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// What the parser's `_private` points to.
struct ParseState {
    bool entityRefused = false;
};

inline void RefuseEntity(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    static_cast<ParseState*>(ctxt->_private)->entityRefused = true;
    xmlStopParser(ctxt);
}

inline void RefuseUnparsedEntity(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*, const xmlChar*) {
    RefuseEntity(ctx, nullptr, 0, nullptr, nullptr, nullptr);
}

// A document declaring entities is refused: their expansion is a classic bomb.
inline void RefuseEntities(xmlSAXHandler& sax) {
    sax.entityDecl = RefuseEntity;
    sax.unparsedEntityDecl = RefuseUnparsedEntity;
}

// Why a parse that ended failed, and at which line (0 when no line applies).
inline void ParseFailure(xmlParserCtxtPtr ctxt, const ParseState& state, std::string& reason, int& line) {
    if (state.entityRefused) {
        reason = "Оголошення сутностей у документі не допускаються";
        line = ctxt->input != nullptr ? ctxt->input->line : 0;
        return;
    }
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    if (!err || !err->message) {
        reason = "Документ не є правильно сформованим XML";
        line = 0;
        return;
    }
    reason = err->message;
    while (!reason.empty() && IsXmlSpace(reason.back())) reason.pop_back();
    line = err->line > 0 ? err->line : 0;
}

} // namespace platform::xmlparsing
