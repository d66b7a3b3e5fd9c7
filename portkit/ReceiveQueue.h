// The bytes that a port received and nobody has read yet: filled by the reader thread, emptied by
// ReadCommBlock on any thread; portable.
#pragma once

#include "platform/Lock.h"

#include <cstddef>

class CReceiveQueue {
public:
    static constexpr std::size_t CAPACITY = 4096;

    // Appends as many of `length` bytes as fit; returns how many.
    std::size_t Push(const char* data, std::size_t length);
    // Removes up to `size` bytes, oldest first; returns how many.
    std::size_t Pop(char* buffer, std::size_t size);
    std::size_t Room();
    std::size_t Count();

private:
    CLock m_lock;
    // Guarded by m_lock.
    char m_bytes[CAPACITY];
    std::size_t m_head = 0; // oldest byte
    std::size_t m_count = 0;
};
