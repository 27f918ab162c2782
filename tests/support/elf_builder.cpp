#include "elf_builder.h"

#include <stdexcept>

namespace coffgen {

namespace {

constexpr uint32_t SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3, SHT_NOBITS = 8;
constexpr uint32_t SHF_WRITE = 1, SHF_ALLOC = 2, SHF_EXECINSTR = 4;

struct Out {
    Bytes bytes;
    bool big;
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v)
    {
        bytes.resize(bytes.size() + 2);
        put16(bytes, bytes.size() - 2, v, big);
    }
    void u32(uint32_t v)
    {
        bytes.resize(bytes.size() + 4);
        put32(bytes, bytes.size() - 4, v, big);
    }
};

uint32_t add_name(std::string& table, const std::string& name)
{
    const uint32_t at = static_cast<uint32_t>(table.size());
    table += name;
    table += '\0';
    return at;
}

struct SectionRow {
    uint32_t name, type, flags, addr, offset, size, link, info, align, entsize;
};

}  // namespace

Bytes elf_from(const Coff& coff, const ElfOptions& options, ElfLayout* layout)
{
    const uint32_t unit = static_cast<uint32_t>(options.addrunit / 8);
    auto in_units = [unit](uint32_t address) {
        if (address % unit)
            throw std::invalid_argument("an odd address in a file of 16-bit words");
        return address / unit;
    };
    const bool big = coff.target_big_endian;
    std::vector<const Section*> loaded;  // sections with a segment of their own
    for (const Section& s : coff.sections)
        if (!(s.flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY)) && (!s.data.empty() || s.size))
            loaded.push_back(&s);
    const size_t phnum = options.segments ? loaded.size() : 0;
    const size_t data_at = 52 + 32 * phnum;

    // section bytes, then the symbols and the string tables
    Bytes body;
    std::vector<uint32_t> offsets;
    for (const Section& s : coff.sections) {
        offsets.push_back(static_cast<uint32_t>(data_at + body.size()));
        body.insert(body.end(), s.data.begin(), s.data.end());
    }
    std::string shstrtab(1, '\0');
    std::string strtab(1, '\0');
    Out symtab{{}, big};
    symtab.bytes.resize(16);  // the null symbol
    for (const Symbol& sym : coff.symbols) {
        if (sym.storage_class != 2 && sym.storage_class != 5)
            continue;
        symtab.u32(add_name(strtab, sym.name));
        symtab.u32(in_units(sym.value));
        symtab.u32(0);
        symtab.u8(0x10);  // global, no type
        symtab.u8(0);
        symtab.u16(sym.section == -1 ? 0xFFF1 : static_cast<uint16_t>(sym.section));
    }

    std::vector<SectionRow> rows{{}};
    for (size_t i = 0; i < coff.sections.size(); ++i) {
        const Section& s = coff.sections[i];
        const bool alloc = !(s.flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY));
        const bool nobits = s.data.empty();
        uint32_t flags = alloc ? SHF_ALLOC | ((s.flags & STYP_TEXT) ? SHF_EXECINSTR : SHF_WRITE) : 0;
        rows.push_back({add_name(shstrtab, s.name), nobits ? SHT_NOBITS : SHT_PROGBITS, flags, in_units(s.vaddr),
                        nobits ? 0 : offsets[i], nobits ? s.size : static_cast<uint32_t>(s.data.size()), 0, 0, 1,
                        0});
    }
    auto align4 = [&body, data_at]() {
        while ((data_at + body.size()) % 4)
            body.push_back(0);
    };
    align4();
    const uint32_t symtab_at = static_cast<uint32_t>(data_at + body.size());
    const uint32_t strtab_index = static_cast<uint32_t>(rows.size() + 1);
    if (options.symbols) {
        rows.push_back({add_name(shstrtab, ".symtab"), SHT_SYMTAB, 0, 0, symtab_at,
                        static_cast<uint32_t>(symtab.bytes.size()), strtab_index, 1, 4, 16});
        body.insert(body.end(), symtab.bytes.begin(), symtab.bytes.end());
        rows.push_back({add_name(shstrtab, ".strtab"), SHT_STRTAB, 0, 0, static_cast<uint32_t>(data_at + body.size()),
                        static_cast<uint32_t>(strtab.size()), 0, 0, 1, 0});
        body.insert(body.end(), strtab.begin(), strtab.end());
    }
    const uint32_t shstrndx = static_cast<uint32_t>(rows.size());
    const uint32_t shstr_name = add_name(shstrtab, ".shstrtab");
    rows.push_back({shstr_name, SHT_STRTAB, 0, 0, static_cast<uint32_t>(data_at + body.size()),
                    static_cast<uint32_t>(shstrtab.size()), 0, 0, 1, 0});
    body.insert(body.end(), shstrtab.begin(), shstrtab.end());
    align4();
    const uint32_t shoff = static_cast<uint32_t>(data_at + body.size());

    Out out{{0x7F, 'E', 'L', 'F', 1, static_cast<uint8_t>(big ? 2 : 1), 1}, big};
    out.bytes.resize(16);
    out.u16(2);       // executable
    out.u16(0x9C);    // a machine number of the target's own
    out.u32(1);
    out.u32(in_units(coff.entry_point));
    out.u32(phnum ? 52 : 0);
    out.u32(shoff);
    out.u32(0);
    out.u16(52);
    out.u16(32);
    out.u16(static_cast<uint16_t>(phnum));
    out.u16(40);
    out.u16(static_cast<uint16_t>(rows.size()));
    out.u16(static_cast<uint16_t>(shstrndx));
    for (size_t k = 0; k < phnum; ++k) {
        const Section& s = *loaded[k];
        const size_t i = static_cast<size_t>(&s - coff.sections.data());
        auto load = options.load_at.find(s.name);
        const uint32_t lma = load == options.load_at.end() ? s.vaddr : load->second;
        const uint32_t filesz = static_cast<uint32_t>(s.data.size());
        out.u32(1);  // PT_LOAD
        out.u32(filesz ? offsets[i] : 0);
        out.u32(in_units(s.vaddr));
        out.u32(in_units(lma));
        out.u32(filesz);
        out.u32(filesz ? filesz : s.size);
        out.u32(7);
        out.u32(1);
    }
    out.bytes.insert(out.bytes.end(), body.begin(), body.end());
    for (const SectionRow& r : rows)
        for (uint32_t v : {r.name, r.type, r.flags, r.addr, r.offset, r.size, r.link, r.info, r.align, r.entsize})
            out.u32(v);
    if (layout)
        *layout = ElfLayout{52, shoff, symtab_at, data_at};
    return out.bytes;
}

}  // namespace coffgen
