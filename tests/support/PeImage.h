// Small Windows executables built byte by byte for the tests of the PE reader: the
// headers of an image whose one section the test fills, placed at kSectionRva in memory
// and at kSectionOffset in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// VALUE written little-endian in SIZE bytes at OFFSET, growing the image as needed.
inline void Put(Bytes& image, std::size_t offset, std::uint64_t value, std::size_t size)
{
    if (image.size() < offset + size)
        image.resize(offset + size);
    for (std::size_t i = 0; i < size; ++i)
        image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline constexpr std::uint32_t kSectionRva = 0x2000;
inline constexpr std::size_t kSectionOffset = 0x400;
inline constexpr std::size_t kPeOffset = 0x80;
inline constexpr std::size_t kDirectoryCount = 16;
inline constexpr std::size_t kDirectorySize = 8;

struct PeDirectory {
    std::size_t index;
    std::uint32_t rva;
    std::uint32_t size = 0;
};

struct PeHeaders {
    bool pe32Plus = true;
    std::uint16_t machine = 0;
    std::uint64_t imageBase = 0;
    std::string_view sectionName;
    std::vector<PeDirectory> directories;
};

inline Bytes PeImage(const Bytes& section, const PeHeaders& headers)
{
    Bytes image(kSectionOffset, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put(image, 0x3C, kPeOffset, 4);
    Put(image, kPeOffset, 0x00004550, 4);
    Put(image, kPeOffset + 4, headers.machine, 2);
    Put(image, kPeOffset + 6, 1, 2); // sections
    const std::size_t directories = headers.pe32Plus ? 112 : 96;
    Put(image, kPeOffset + 20, directories + kDirectoryCount * kDirectorySize, 2);
    const std::size_t optional = kPeOffset + 24;
    Put(image, optional, headers.pe32Plus ? 0x20B : 0x10B, 2);
    if (headers.pe32Plus)
        Put(image, optional + 24, headers.imageBase, 8);
    else
        Put(image, optional + 28, headers.imageBase, 4);
    Put(image, optional + directories - 4, kDirectoryCount, 4);
    for (const PeDirectory& directory : headers.directories) {
        Put(image, optional + directories + kDirectorySize * directory.index, directory.rva, 4);
        Put(image, optional + directories + kDirectorySize * directory.index + 4, directory.size, 4);
    }
    const std::size_t header = optional + directories + kDirectoryCount * kDirectorySize;
    for (std::size_t i = 0; i < headers.sectionName.size() && i < 8; ++i)
        image[header + i] = static_cast<std::uint8_t>(headers.sectionName[i]);
    Put(image, header + 8, section.size(), 4);
    Put(image, header + 12, kSectionRva, 4);
    Put(image, header + 16, section.size(), 4);
    Put(image, header + 20, kSectionOffset, 4);
    image.insert(image.end(), section.begin(), section.end());
    return image;
}
