#include "skeleton/BinaryStream.h"

#include <cstring>

namespace qm {

namespace {
constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
}

void BinaryWriter::WriteU16(uint16_t v)
{
    WriteByte(static_cast<uint8_t>(v & 0xff));
    WriteByte(static_cast<uint8_t>(v >> 8));
}

void BinaryWriter::WriteU32(uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        WriteByte(static_cast<uint8_t>((v >> shift) & 0xff));
}

void BinaryWriter::WriteFloat(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    WriteU32(bits);
}

void BinaryWriter::WriteBytes(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void BinaryWriter::WriteWords(const void* data, size_t count)
{
    if (kLittleEndianHost) {
        WriteBytes(data, count * 4);
        return;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i) {
        uint32_t v;
        std::memcpy(&v, p + 4 * i, 4);
        WriteU32(v);
    }
}

bool BinaryReader::ReadWords(void* out, size_t count)
{
    if (count > Remaining() / 4) {
        failed_ = true;
        pos_ = size_;
        return false;
    }
    if (kLittleEndianHost)
        return ReadBytes(out, count * 4);
    auto* p = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = ReadU32();
        std::memcpy(p + 4 * i, &v, 4);
    }
    return true;
}

bool BinaryReader::Take(size_t n)
{
    if (failed_ || n > size_ - pos_) {
        failed_ = true;
        pos_ = size_;
        return false;
    }
    return true;
}

uint8_t BinaryReader::ReadByte()
{
    if (!Take(1))
        return 0;
    return data_[pos_++];
}

uint16_t BinaryReader::ReadU16()
{
    if (!Take(2))
        return 0;
    const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t BinaryReader::ReadU32()
{
    if (!Take(4))
        return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | data_[pos_ + static_cast<size_t>(i)];
    pos_ += 4;
    return v;
}

uint64_t BinaryReader::ReadU64()
{
    const uint64_t lo = ReadU32();
    const uint64_t hi = ReadU32();
    return failed_ ? 0 : (hi << 32) | lo;
}

float BinaryReader::ReadFloat()
{
    const uint32_t bits = ReadU32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

bool BinaryReader::ReadBytes(void* out, size_t size)
{
    if (!Take(size))
        return false;
    std::memcpy(out, data_ + pos_, size);
    pos_ += size;
    return true;
}

} // namespace qm
