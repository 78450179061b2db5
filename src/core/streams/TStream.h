// Byte streams: the one reader and writer of every binary record.
//
// TStream keeps a 4096-byte read-ahead buffer and a sticky error code (the
// first non-zero code wins). Typed readers never fail loudly: a short read
// stores the caller's default and records code 4. Every writer first gives
// back the unread read-ahead so bytes land at the logical position. A file
// stream holds its writes in a buffer of its own (see TFile).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "core/streams/CharArray.h"
#include "core/streams/LittleEndian.h"
#include "nyx/base/DynamicBuffer.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class TStream {
public:
    static constexpr uint32_t kReadAheadSize = 4096;
    // Bytes kept at the front of a refilled buffer so that a step back
    // stays inside it; reads of kReadAheadSize - kKeepBack or more bypass it.
    static constexpr uint32_t kKeepBack = 16;
    static constexpr uint32_t kBlockMarker = 0xFEEDCEEBu;
    static constexpr uint32_t kMaxStringRecord = 65535;

    enum ErrorCode : uint32_t {
        kErrNone = 0,
        kErrFile = 1,        // engine object missing or short transfer
        kErrString = 3,      // string length out of range, or a buffer write failed
        kErrShortRecord = 4, // a typed record was cut short
    };
    enum Origin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Virtual operations, in the family's slot order.
    virtual void Reset() = 0;
    virtual uint32_t Tell() = 0;
    virtual bool IsOpen() = 0;
    virtual uint32_t GetSize();
    virtual uint32_t WriteRaw(const void* data, uint32_t n) = 0;
    virtual uint32_t ReadRaw(void* data, uint32_t n) = 0;
    // Origin 1 counts from the logical position (the unread read-ahead is
    // allowed for); callers empty the read-ahead afterwards.
    virtual void SeekRaw(int64_t offset, int origin) = 0;
    virtual bool IsEOF() = 0;

    uint32_t GetError() const noexcept { return error_; }
    // Records a code unless one is already recorded.
    void SetError(uint32_t code) noexcept
    {
        if (error_ == 0)
            error_ = code;
    }

    // Typed readers (little-endian). On a short read the default is stored
    // and code 4 recorded.
    void ReadBool(bool& out, bool def);
    void ReadUInt8(uint8_t& out, uint8_t def);
    void ReadUInt16(uint16_t& out, uint16_t def);
    void ReadInt32(int32_t& out, int32_t def)
    {
        uint32_t v;
        ReadInt32(v, static_cast<uint32_t>(def));
        out = static_cast<int32_t>(v);
    }
    void ReadInt32(uint32_t& out, uint32_t def)
    {
        // Mostly served from the read-ahead, without a call.
        if (unread_ >= 4) {
            out = LoadLE32(readAhead_ + offset_);
            offset_ += 4;
            unread_ -= 4;
            return;
        }
        ReadInt32Slow(out, def);
    }
    void ReadFloat(float& out, float def);
    void ReadUInt64(uint64_t& out, uint64_t def);
    // Reads count elements; a short element stores 0 and the loop goes on
    // (once the stream has run dry the rest are zeroed without reading).
    void ReadInt32Array(int32_t* out, int32_t count);
    // Reads n raw bytes; returns the number read.
    uint32_t ReadBytes(void* out, uint32_t n) { return n == 0 ? 0 : Take(out, n); }
    void ReadPString(Nyx::PString& out);
    void ReadString(Nyx::String& out);

    // Writers.
    void WriteUInt8(uint8_t v);
    void WriteUInt16(uint16_t v);
    void WriteBool(bool v);
    void WriteInt32(int32_t v);
    void WriteInt32(uint32_t v) { WriteInt32(static_cast<int32_t>(v)); }
    void WriteFloat(float v);
    void WriteUInt64(uint64_t v);
    uint32_t WriteBytes(const void* data, uint32_t n)
    {
        DropReadAhead();
        return WriteRaw(data, n);
    }
    void WritePString(const Nyx::PString& s);
    void WriteString(const Nyx::AnsiString& s);
    // Writes 4 bytes at an absolute position and returns to where it was.
    void WriteInt32At(uint32_t position, int32_t v);
    // Writes the length-block marker and returns its position.
    uint32_t BeginBlock();
    // Patches the block at position to the byte count behind its field.
    void EndBlock(uint32_t position);

    void SetPosition(uint32_t target);
    void Rewind() { SetPosition(0); }

    // Bytes of the read-ahead not yet consumed (for derived streams).
    uint32_t UnreadCount() const noexcept { return unread_; }
    // The next n unread bytes where the read-ahead holds them, else null: a
    // reader of many small fields decodes them in place, then consumes what
    // it used (at most n) with Consume.
    const uint8_t* Buffered(uint32_t n) const noexcept { return unread_ >= n ? readAhead_ + offset_ : nullptr; }
    void Consume(uint32_t n) noexcept
    {
        offset_ += n;
        unread_ -= n;
    }

protected:
    // Fills from the read-ahead and the underlying stream; called when fewer
    // than n bytes are unread.
    uint32_t Read(void* data, uint32_t n);
    // Gives the unread read-ahead back to the underlying stream. Every write
    // starts here, and mostly nothing is unread.
    void DropReadAhead()
    {
        if (unread_ == 0) {
            offset_ = 0;
            return;
        }
        GiveBackReadAhead();
    }
    void GiveBackReadAhead();
    void ClearReadAhead() noexcept
    {
        unread_ = 0;
        offset_ = 0;
    }
    void ClearError() noexcept { error_ = 0; }
    // Serves n bytes from the read-ahead when it holds them; else reads.
    uint32_t Take(void* out, uint32_t n)
    {
        // (The read-ahead never holds more than its size: the second test
        // only lets the compiler see that.)
        if (unread_ >= n && n <= kReadAheadSize) {
            std::memcpy(out, readAhead_ + offset_, n);
            offset_ += n;
            unread_ -= n;
            return n;
        }
        return Read(out, n);
    }
    // Moves forward by n bytes without reading them.
    void Skip(uint32_t n);
    void ReadInt32Slow(uint32_t& out, uint32_t def);

    friend class TSubFile;

    uint32_t unread_ = 0;
    uint32_t offset_ = 0;
    uint8_t readAhead_[kReadAheadSize];
    uint32_t error_ = 0;
};

// A stream over an engine file.
//
// Writes to a file opened for writing are gathered in a buffer and reach the
// file in large transfers: a record stream of small fields would otherwise
// cost a system call per field. A length block patched while its bytes are
// still held is patched in the buffer; elsewhere by a seek, as always. Any
// read, a seek out of the held bytes, Flush and the release of the file write
// them out first. A transfer that fails then records code 1, like a direct
// one: whoever judges a written file by its error code calls Flush first (a
// failure met only when the file is released goes unseen). While writes are
// held the stream owns the engine file's position.
class TFile : public TStream {
public:
    // Writes up to this size are gathered; a larger one goes straight out.
    static constexpr uint32_t kWriteBufferSize = 64 * 1024;

    explicit TFile(Nyx::File* file = nullptr, bool owns = false) : file_(file), owns_(owns) {}
    ~TFile() override;

    // Release the current file, then open a new owned one. Whether it opened
    // is told by IsOpen.
    void Open(const Nyx::File::Path& path, uint32_t mode);
    void OpenIn(const Nyx::PString& base, const Nyx::File::Path& name, uint32_t mode);
    // Creates an owned File only when none is held.
    void EnsureFile();
    // Takes a File without releasing the one held.
    void Attach(Nyx::File* file, bool owns);
    // Destroys an owned File; a borrowed one is moved back to the logical
    // position. Clears the error code.
    void ReleaseFile();
    // The engine file. Held writes are not in it yet: Flush first to use its
    // position or handle.
    Nyx::File* GetFile() const noexcept { return file_; }
    // Writes out what is held and leaves the file at the stream's position;
    // false when that failed (code 1 is recorded).
    bool Flush();

    // Reopens the same file for writing (truncating it).
    void Reset() override;
    uint32_t Tell() override;
    bool IsOpen() override;
    uint32_t WriteRaw(const void* data, uint32_t n) override;
    uint32_t ReadRaw(void* data, uint32_t n) override;
    void SeekRaw(int64_t offset, int origin) override;
    bool IsEOF() override;

private:
    // Whether writes may be held: the file is open for writing.
    bool Gathers() const;
    // Writes the held bytes out and leaves the file at the cursor; the held
    // span then starts there, empty.
    bool WriteHeld();
    // Writes out what is held and stops holding: the file moves on its own.
    bool EndHeld();

    Nyx::File* file_;
    bool owns_;
    // Held writes: the file stands at heldBase_ (while holding_), bytes
    // [0, heldLength_) of held_ belong there, and the stream's position is
    // heldBase_ + cursor_.
    std::unique_ptr<uint8_t[]> held_;
    int64_t heldBase_ = 0;
    uint32_t heldLength_ = 0;
    uint32_t cursor_ = 0;
    bool holding_ = false;
};

// A stream over an engine growable memory buffer.
class TBuffer : public TStream {
public:
    explicit TBuffer(Nyx::DynamicBuffer* buffer, bool owns = false) : buffer_(buffer), owns_(owns) {}
    // A stream over a new buffer it owns.
    TBuffer() : buffer_(new Nyx::DynamicBuffer), owns_(true) {}
    ~TBuffer() override;

    Nyx::DynamicBuffer* GetBuffer() const noexcept { return buffer_; }

    // Empties the buffer.
    void Reset() override;
    uint32_t Tell() override;
    bool IsOpen() override { return true; }
    uint32_t WriteRaw(const void* data, uint32_t n) override;
    uint32_t ReadRaw(void* data, uint32_t n) override;
    void SeekRaw(int64_t offset, int origin) override;
    bool IsEOF() override;

private:
    Nyx::DynamicBuffer* buffer_;
    bool owns_;
};

// A stream over the byte range [start, end) of another stream. Place the
// parent at the range start before constructing.
class TSubFile : public TStream {
public:
    TSubFile(TStream* parent, uint32_t start, uint32_t end);
    // For a caller that knows the parent stands at start without asking it.
    enum ParentAtStart { kParentAtStart };
    TSubFile(TStream* parent, uint32_t start, uint32_t end, ParentAtStart) noexcept
        : parent_(parent), start_(start), end_(end < start ? start : end), pos_(start)
    {
    }

    uint32_t RangeStart() const noexcept { return start_; }
    uint32_t RangeEnd() const noexcept { return end_; }

    void Reset() override {}
    uint32_t Tell() override;
    bool IsOpen() override { return parent_->IsOpen(); }
    uint32_t WriteRaw(const void* data, uint32_t n) override;
    uint32_t ReadRaw(void* data, uint32_t n) override;
    void SeekRaw(int64_t offset, int origin) override;
    bool IsEOF() override;

private:
    TStream* parent_;
    uint32_t start_;
    uint32_t end_;
    uint32_t pos_;
};
