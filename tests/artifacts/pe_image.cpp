#include "pe_image.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace pe {
namespace {

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
};

size_t FileOffset(const std::vector<Section>& sections, uint32_t rva) {
    for (const Section& section : sections)
        if (rva >= section.virtualAddress && rva < section.virtualAddress + std::max(section.virtualSize, section.rawSize))
            return section.rawOffset + (rva - section.virtualAddress);
    throw std::runtime_error("address outside every section");
}

// Walks the three levels of the resource directory: type, name, language.
void ReadResources(Image& image, const std::vector<Section>& sections, size_t root, size_t directory, int level,
                   uint32_t type, uint32_t id) {
    const std::string& b = image.bytes;
    uint16_t named = U16(b, directory + 12);
    uint16_t numbered = U16(b, directory + 14);
    for (uint32_t i = 0; i < static_cast<uint32_t>(named) + numbered; ++i) {
        size_t entry = directory + 16 + 8 * i;
        uint32_t key = U32(b, entry);
        uint32_t target = U32(b, entry + 4);
        if (key & 0x80000000u) key = 0xFFFFFFFFu;  // named entries are not used by the program
        if (target & 0x80000000u) {
            size_t next = root + (target & 0x7FFFFFFFu);
            if (level == 0) ReadResources(image, sections, root, next, 1, key, 0);
            else ReadResources(image, sections, root, next, 2, type, key);
        } else {
            size_t data = root + target;
            size_t offset = FileOffset(sections, U32(b, data));
            image.resources[{type, id, key}] = b.substr(offset, U32(b, data + 4));
        }
    }
}

}  // namespace

uint16_t U16(const std::string& bytes, size_t at) {
    if (at + 2 > bytes.size()) throw std::runtime_error("read past the end");
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t U32(const std::string& bytes, size_t at) { return U16(bytes, at) | static_cast<uint32_t>(U16(bytes, at + 2)) << 16; }

Image Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path + " (build the Windows programs first: make build)");
    Image image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const std::string& b = image.bytes;
    size_t header = U32(b, 0x3C);
    if (b.compare(header, 4, std::string("PE\0\0", 4)) != 0) throw std::runtime_error(path + " is not a PE image");
    image.machine = U16(b, header + 4);
    uint16_t sectionCount = U16(b, header + 6);
    uint16_t optionalSize = U16(b, header + 20);
    size_t optional = header + 24;
    bool plus = U16(b, optional) == 0x20B;
    image.subsystem = U16(b, optional + 68);
    size_t directories = optional + (plus ? 112 : 96);
    uint32_t resourceRva = U32(b, directories + 2 * 8);
    std::vector<Section> sections;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t section = optional + optionalSize + 40 * i;
        sections.push_back({U32(b, section + 12), U32(b, section + 8), U32(b, section + 20), U32(b, section + 16)});
    }
    if (resourceRva) {
        size_t root = FileOffset(sections, resourceRva);
        ReadResources(image, sections, root, root, 0, 0, 0);
    }
    return image;
}

}  // namespace pe
