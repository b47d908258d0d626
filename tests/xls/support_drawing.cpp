#include "support_drawing.h"

#include "SrcXLS/XLSText.h"
#include "SrcXLS/drawing/ObjRecords.h"
#include "support_files.h"
#include "tests/xls/support_oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace drawingtest {

using namespace xls;

namespace {

std::string Hex(const uint8_t* p, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        out += b;
    }
    return out;
}

// An OPT body with its picture references named.
std::string OptText(const uint8_t* p, size_t n, uint16_t count, const std::vector<std::string>* blips) {
    if (!blips || size_t(count) * 6 > n) return Hex(p, n);
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        uint16_t id = GetU16(p + 6 * i);
        uint32_t v = GetU32(p + 6 * i + 2);
        out += Hex(p + 6 * i, 2) + "=";
        if ((id & 0xC000) == 0x4000)
            out += v == 0 ? "none" : v <= blips->size() ? (*blips)[v - 1] : "missing#" + std::to_string(v);
        else
            out += Hex(p + 6 * i + 2, 4);
        out += " ";
    }
    return out + Hex(p + 6 * count, n - 6 * count);
}

void DecodeEscher(const Bytes& data, size_t from, size_t to, int depth, std::vector<std::string>& out,
                  const std::vector<std::string>* blips) {
    size_t at = from;
    while (at < to) {
        if (to - at < 8 || depth > 64) {
            out.push_back("BAD tail " + std::to_string(to - at));
            return;
        }
        TMSOHeader h = TMSOHeader::Parse(data.data() + at);
        at += 8;
        char head[64];
        std::snprintf(head, sizeof head, "%*s%04X/%u", depth * 2, "", unsigned(h.Type), unsigned(h.Instance));
        if (h.IsContainer()) {
            out.push_back(head);
            size_t end = std::min<size_t>(to, at + h.Length);
            DecodeEscher(data, at, end, depth + 1, out, blips);
            at = end;
            continue;
        }
        if (h.Length > to - at) {
            out.push_back(std::string(head) + " BAD length");
            return;
        }
        if (h.Type == mso::OPT)
            out.push_back(std::string(head) + " " + OptText(data.data() + at, h.Length, h.Instance, blips));
        else if (h.Type != mso::Dg)
            out.push_back(std::string(head) + " " + Hex(data.data() + at, h.Length));
        at += h.Length;
    }
}

} // namespace

std::vector<Record> WrittenRecords(const std::function<void(TXLSStream&)>& writer) {
    // A BOF first: the written stream must not start with the records.
    Bytes stream = biffbuild::Written([&](TXLSStream& s) {
        s.WriteHeader(0x0809, 0);
        writer(s);
    });
    auto records = biffbuild::Records(stream, true);
    records.erase(records.begin());
    return records;
}

RecordReader::RecordReader(const std::vector<Record>& records) {
    biffbuild::Stream s;
    s.Bof8(0x0010);
    for (const auto& r : records) s.Rec(r.Id, r.Body);
    s.Eof();
    image = biffbuild::CompoundImage(s.Data());
    stream.SourceStream = &image;
    stream.OpenRead("");
    TBIFFHeader h;
    stream.ReadHeader(h);
    stream.Seek(h.Length, 1);
}

std::vector<Record> RecordReader::Rest() {
    std::vector<Record> out;
    TBIFFHeader h;
    while (stream.ReadHeader(h) == 4) {
        Bytes body(h.Length);
        stream.ReadRecordData(body.data(), h.Length);
        out.push_back({h.Id, body});
    }
    if (!out.empty()) out.pop_back(); // the EOF
    return out;
}

std::vector<Record> WrittenDrawing(const TEscherDrawing& drawing) {
    return WrittenRecords([&](TXLSStream& s) { drawing.WriteDrawing(s); });
}

std::vector<Record> WrittenGroup(TEscherGroup& group) {
    return WrittenRecords([&](TXLSStream& s) {
        s.BeginContinued(8224);
        group.WriteDrawingGroup(s);
        s.EndContinued();
    });
}

std::vector<Record> ReadDrawingFrom(TEscherDrawing& drawing, const std::vector<Record>& records) {
    RecordReader in(records);
    TXLSStream& s = in.Stream();
    TBIFFHeader h;
    if (s.ReadHeader(h) != 4 || h.Id != biff::MSODRAWING) throw std::runtime_error("no MSODRAWING");
    drawing.ReadDrawing(s, h.Length);
    while (s.PeekRecordId() == biff::NOTE) {
        s.ReadHeader(h);
        Bytes body(h.Length);
        s.ReadRecordData(body.data(), h.Length);
        TNoteRecord n = DecodeNote(body);
        drawing.BindNote(n.Col, n.Row, n.Author, n.ObjectId, n.Flags);
    }
    return in.Rest();
}

void ReadGroupFrom(TEscherGroup& group, const std::vector<Record>& records) {
    RecordReader in(records);
    TBIFFHeader h;
    if (in.Stream().ReadHeader(h) != 4 || h.Id != 0x00EB) throw std::runtime_error("no MSODRAWINGGROUP");
    group.ReadDrawingGroup(in.Stream(), h.Length);
}

std::vector<std::string> DecodeDrawing(const std::vector<Record>& records,
                                       const std::vector<std::string>* blips) {
    std::vector<std::string> out, notes;
    Bytes escher;
    auto flush = [&]() {
        DecodeEscher(escher, 0, escher.size(), 0, out, blips);
        escher.clear();
    };
    bool drawing = false;
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        // Drawing records go on in MSODRAWING or CONTINUE records (those
        // after a TXO are taken with it); other records end the drawing.
        if (r.Id == biff::MSODRAWING || (r.Id == biff::CONTINUE && drawing)) {
            escher.insert(escher.end(), r.Body.begin(), r.Body.end());
            drawing = true;
            continue;
        }
        if (r.Id != biff::OBJ && r.Id != biff::TXO && r.Id != biff::NOTE) drawing = false;
        if (r.Id != biff::OBJ && r.Id != biff::TXO && r.Id != biff::NOTE) continue;
        flush();
        if (r.Id == biff::OBJ) {
            out.push_back("OBJ " + Hex(r.Body.data(), r.Body.size()));
        } else if (r.Id == biff::TXO && r.Body.size() >= 14) {
            size_t chars = GetU16(r.Body.data() + 10), runBytes = GetU16(r.Body.data() + 12);
            std::u16string text;
            while (text.size() < chars && i + 1 < records.size() && records[i + 1].Id == biff::CONTINUE) {
                const Bytes& p = records[++i].Body;
                if (p.empty()) continue;
                bool wide = p[0] & 1;
                for (size_t k = 1; k + (wide ? 1 : 0) < p.size() && text.size() < chars; k += wide ? 2 : 1)
                    text += wide ? char16_t(GetU16(&p[k])) : char16_t(p[k]);
            }
            Bytes runs;
            while (runs.size() < runBytes && i + 1 < records.size() && records[i + 1].Id == biff::CONTINUE) {
                const Bytes& p = records[++i].Body;
                runs.insert(runs.end(), p.begin(), p.end());
            }
            out.push_back("TXO " + Hex(r.Body.data(), 10) + " " + WideToUtf8(text) + " runs " +
                          Hex(runs.data(), runs.size()));
        } else if (r.Id == biff::NOTE) {
            TNoteRecord n = DecodeNote(r.Body);
            notes.push_back("NOTE " + std::to_string(n.Row) + "," + std::to_string(n.Col) + " " +
                            std::to_string(n.Flags) + " #" + std::to_string(n.ObjectId) + " " +
                            WideToUtf8(n.Author));
        }
    }
    flush();
    std::sort(notes.begin(), notes.end());
    out.insert(out.end(), notes.begin(), notes.end());
    return out;
}

std::vector<std::string> BlipNames(const std::vector<Record>& globals) {
    Bytes group;
    for (size_t i = 0; i < globals.size() && group.empty(); ++i)
        if (globals[i].Id == 0x00EB)
            for (size_t k = i;
                 k < globals.size() && (k == i || globals[k].Id == biff::CONTINUE || globals[k].Id == 0x00EB);
                 ++k)
                group.insert(group.end(), globals[k].Body.begin(), globals[k].Body.end());
    std::vector<std::string> names;
    for (size_t at = 8; at + 8 <= group.size();) {
        TMSOHeader h = TMSOHeader::Parse(group.data() + at);
        at += 8;
        if (h.Type == mso::BStoreContainer) continue; // into it
        size_t end = std::min(group.size(), at + h.Length);
        if (h.Type == mso::BSE) {
            std::string name = "none";
            size_t blip = at + 36 + (end - at > 33 ? group[at + 33] : 0);
            if (blip + 8 <= end) {
                TMSOHeader b = TMSOHeader::Parse(group.data() + blip);
                size_t data = blip + 8 + 16 + ((b.Instance & 1) ? 16 : 0);
                size_t stop = std::min(end, blip + 8 + b.Length);
                Bytes bytes;
                if (IsMetafile(group[at]) && data + 34 <= stop) {
                    Bytes packed(group.begin() + long(data + 34), group.begin() + long(stop));
                    auto inflated = InflateBounded(packed, GetU32(group.data() + data));
                    bytes = group[data + 32] == 0 && inflated ? *inflated : packed;
                } else if (data + 1 <= stop) {
                    bytes.assign(group.begin() + long(data + 1), group.begin() + long(stop));
                }
                TMD4 digest = MD4Digest(bytes);
                name = Hex(digest.data(), 6);
            }
            names.push_back(name);
        }
        at = end;
    }
    return names;
}

std::vector<std::vector<std::string>> DrawingOracle(const std::string& command,
                                                    const std::vector<std::string>& files) {
    const auto read = oracle::RunPerFile(
        "/usr/bin/python3 " + oracle::Quote(oracle::ScriptPath("drawing_oracle.py")) + " " + command, files);
    std::vector<std::vector<std::string>> out;
    for (const oracle::TOracleFile& f : read) {
        std::vector<std::string> lines{f.Ok                   ? "OK"
                                       : !f.NoVerdict.empty() ? "NOVERDICT\t" + f.NoVerdict
                                                              : f.Error};
        lines.insert(lines.end(), f.Raw.begin(), f.Raw.end());
        out.push_back(lines);
    }
    return out;
}

std::u16string TextOf(size_t n) {
    std::u16string text;
    for (size_t i = 0; i < n; ++i) text += char16_t(0x410 + i % 32);
    return text;
}

} // namespace drawingtest
