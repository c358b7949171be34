#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace console {

// An array that grows by fixed chunks: appending never moves what is
// stored and never reserves more than the chunk being filled, so a large
// index costs sizeof(T) an element and little else.
template<typename T, size_t Chunk = 16384>
class ChunkedArray {
public:
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T &operator[](size_t i) { return m_chunks[i / Chunk][i % Chunk]; }
    const T &operator[](size_t i) const { return m_chunks[i / Chunk][i % Chunk]; }
    const T &back() const { return (*this)[m_size - 1]; }
    T &back() { return (*this)[m_size - 1]; }

    void push_back(const T &value)
    {
        if (m_size == m_chunks.size() * Chunk)
            m_chunks.push_back(std::make_unique_for_overwrite<T[]>(Chunk));
        (*this)[m_size++] = value;
    }
    // Inserts [first, last) before element `at`; what follows moves up.
    template<typename It>
    void insert(size_t at, It first, It last)
    {
        const size_t old = m_size;
        for (It it = first; it != last; ++it)
            push_back(*it);
        const size_t count = m_size - old;
        for (size_t i = old; i-- > at;)
            (*this)[i + count] = (*this)[i];
        for (It it = first; it != last; ++it)
            (*this)[at++] = *it;
    }
    void clear()
    {
        m_chunks.clear();
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    size_t m_size = 0;
};

} // namespace console
