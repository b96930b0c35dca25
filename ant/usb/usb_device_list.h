#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

// Ordered list owning heap copies of its elements. For a list of pointers the
// copies are the pointer cells only; the devices they point to are not owned.
template <typename T> class USBDeviceList {
  public:
    using Predicate = bool (*)(const T&);

    USBDeviceList() = default;
    USBDeviceList(const USBDeviceList& other) { Add(other); }
    USBDeviceList& operator=(const USBDeviceList& other) {
        if (this != &other) {
            Clear();
            Add(other);
        }
        return *this;
    }
    ~USBDeviceList() { Clear(); }

    void Add(const T& element) {
        using Cell = std::remove_const_t<T>;
        cells_.push_back(new Cell(element));
    }

    template <typename U> void Add(const USBDeviceList<U>& other) {
        for (std::uint32_t i = 0; i < other.GetSize(); ++i) {
            Add(static_cast<T>(other[i]));
        }
    }

    // Throws int 0 for an index out of range.
    const T& operator[](std::uint32_t index) const {
        if (index >= cells_.size()) {
            throw 0;
        }
        return *cells_[index];
    }

    // Throws int 0 for an index out of range.
    const T* GetAddress(std::uint32_t index) const {
        if (index >= cells_.size()) {
            throw 0;
        }
        return cells_[index];
    }

    std::uint32_t GetSize() const { return static_cast<std::uint32_t>(cells_.size()); }

    USBDeviceList GetSubList(Predicate predicate) const {
        USBDeviceList result;
        if (predicate == nullptr) {
            return result;
        }
        for (const T* cell : cells_) {
            if (predicate(*cell)) {
                result.Add(*cell);
            }
        }
        return result;
    }

    void Clear() {
        for (T* cell : cells_) {
            delete cell;
        }
        cells_.clear();
    }

  private:
    std::vector<T*> cells_;
};
