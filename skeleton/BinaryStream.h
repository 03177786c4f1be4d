#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Little-endian writer into a growing byte buffer; scene files are assembled
// in memory and written out in one go.
class BinaryWriter {
public:
    void WriteByte(uint8_t v) { bytes_.push_back(v); }
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteInt32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteFloat(float v);
    void WriteBytes(const void* data, size_t size);
    // count 32-bit values (floats or int32s) laid out in memory at data.
    void WriteWords(const void* data, size_t count);
    void Reserve(size_t size) { bytes_.reserve(size); }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> TakeBytes() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// Little-endian reader over a byte range it does not own. Reading past the end
// yields zeros and latches Failed(), so a loader can read a whole record and
// check once instead of testing every field.
class BinaryReader {
public:
    BinaryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit BinaryReader(const std::vector<uint8_t>& bytes) : BinaryReader(bytes.data(), bytes.size()) {}

    uint8_t ReadByte();
    uint16_t ReadU16();
    uint32_t ReadU32();
    uint64_t ReadU64();
    int32_t ReadInt32() { return static_cast<int32_t>(ReadU32()); }
    float ReadFloat();
    // Copies size bytes into out; false (and Failed()) when fewer remain.
    bool ReadBytes(void* out, size_t size);
    // count 32-bit values (floats or int32s) into memory at out; all or nothing.
    bool ReadWords(void* out, size_t count);

    // Moves past size bytes; false (and Failed()) when fewer remain.
    bool Skip(size_t size) { return Take(size) && ((pos_ += size), true); }
    bool Failed() const { return failed_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }

private:
    bool Take(size_t n);

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace qm
