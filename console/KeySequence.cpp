#include "console/KeySequence.h"

#include "platform/CodePages.h"

namespace console {
namespace {

// The letters and labels T1..T4, KT, C and X are Latin.
constexpr KeyDef kKeys[] = {
    {"Button0", "0", '0', "[0]"},      {"Button1", "1", '1', "[1]"},      {"Button2", "2", '2', "[2]"},
    {"Button3", "3", '3', "[3]"},      {"Button4", "4", '4', "[4]"},      {"Button5", "5", '5', "[5]"},
    {"Button6", "6", '6', "[6]"},      {"Button7", "7", '7', "[7]"},      {"Button8", "8", '8', "[8]"},
    {"Button9", "9", '9', "[9]"},      {"Button10", "00", ':', "[00]"},   {"Button11", ",", ',', "[,]"},
    {"Button12", "- %", '-', "[-%]"},  {"Button13", "+ %", '+', "[+%]"},  {"Button14", "ЦІНА", 'R', "[ЦІНА]"},
    {"Button15", "АН", 'A', "[АН]"},   {"Button16", "Ф", 'F', "[Ф]"},     {"Button17", "T4", 'D', "[T4]"},
    {"Button18", "T3", 'U', "[T3]"},   {"Button19", "T2", 'M', "[T2]"},   {"Button20", "T1", 'P', "[T1]"},
    {"Button22", "КРД", 'H', "[КРД]"}, {"Button23", "КРТ", 'T', "[КРТ]"}, {"Button24", "ПС", 'S', "[ПС]"},
    {"Button25", "ОПЛ", 'O', "[ОПЛ]"}, {"Button26", "KT", 'K', "[KT]"},   {"Button27", "C", 'C', "[C]"},
    {"Button28", "X", '*', "[X]"},
};

const KeyDef* KeyOfLetter(char letter) {
    for (const KeyDef& k : kKeys)
        if (k.letter == letter) return &k;
    return nullptr;
}

} // namespace

std::span<const KeyDef> Keys() {
    return kKeys;
}

const KeyDef* KeyOfButton(std::string_view button) {
    for (const KeyDef& k : kKeys)
        if (button == k.button) return &k;
    return nullptr;
}

std::string SequenceToLabels(std::string_view sequence) {
    std::string labels;
    for (char c : sequence)
        if (const KeyDef* key = KeyOfLetter(c)) labels += platform::Utf8ToAnsi(key->label);
    return labels;
}

bool KeySequence::Add(const KeyDef& key) {
    if (letters.size() >= MaxSequenceKeys) return false;
    letters += key.letter;
    labels += platform::Utf8ToAnsi(key.label);
    if (labels.size() > MaxSequenceText) labels.resize(MaxSequenceText);
    return true;
}

void KeySequence::Clear() {
    letters.clear();
    labels.clear();
}

} // namespace console
