// What the texture compression library reports to: its output, one
// bitmap per image it begins, and its errors.
#pragma once

#include <nvtt/nvtt.h>

#include <cstdint>

#include "nyx/gfx/bitmap/Bitmap.h"

class TextureCompress;

class OurOutputHandler : public nvtt::OutputHandler {
public:
    explicit OurOutputHandler(TextureCompress& receiver) : receiver_(receiver) {}
    // Destroys a bitmap never handed over.
    ~OurOutputHandler() override;
    OurOutputHandler(const OurOutputHandler&) = delete;
    OurOutputHandler& operator=(const OurOutputHandler&) = delete;

    // Hands the bitmap being filled to the receiver and starts a raw one of
    // the announced byte size.
    void beginImage(int size, int width, int height, int depth, int face, int miplevel) override;
    // Refuses bytes beyond the announced size of the image.
    bool writeData(const void* data, int size) override;

    // Hands the bitmap being filled, if any, to the receiver.
    void Flush();
    // Destroys the bitmap being filled, if any.
    void Discard();

private:
    TextureCompress& receiver_;
    Nyx::Bitmap* current_ = nullptr;
    uint32_t announced_ = 0;
    uint32_t written_ = 0;
};

class OurErrorHandler : public nvtt::ErrorHandler {
public:
    // Keeps the library's text of the error as this thread's last error.
    void error(nvtt::Error e) override;
};
