// Reads what the tests check in a built Windows program: its headers and its resources.
#pragma once
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

namespace pe {

struct Image {
    std::string bytes;
    uint16_t machine = 0;
    uint16_t subsystem = 0;
    // Resources by type, id and language.
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::string> resources;
};

Image Load(const std::string& path);

uint16_t U16(const std::string& bytes, size_t at);
uint32_t U32(const std::string& bytes, size_t at);

}  // namespace pe
