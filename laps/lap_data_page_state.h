#pragma once

#include <cstdint>
#include <initializer_list>

namespace draftwell {

// Set of the pages merged into a lap; all three bits set means complete.
class LapDataPageState {
  public:
    using RawValue = std::uint8_t;

    static const LapDataPageState page0;
    static const LapDataPageState page1;
    static const LapDataPageState page2;
    static const LapDataPageState all;

    constexpr LapDataPageState() = default;
    constexpr explicit LapDataPageState(RawValue raw) : raw_(raw) {}
    constexpr LapDataPageState(std::initializer_list<LapDataPageState> members) {
        for (auto m : members) {
            raw_ = static_cast<RawValue>(raw_ | m.raw_);
        }
    }

    constexpr RawValue rawValue() const { return raw_; }
    constexpr bool isEmpty() const { return raw_ == 0; }
    constexpr bool contains(LapDataPageState m) const { return (raw_ & m.raw_) == m.raw_; }
    constexpr bool isSubset(LapDataPageState of) const { return (raw_ & of.raw_) == raw_; }
    constexpr bool isSuperset(LapDataPageState of) const { return of.isSubset(*this); }
    constexpr bool isDisjoint(LapDataPageState with) const { return (raw_ & with.raw_) == 0; }
    constexpr LapDataPageState unionWith(LapDataPageState o) const {
        return LapDataPageState(static_cast<RawValue>(raw_ | o.raw_));
    }
    constexpr LapDataPageState intersection(LapDataPageState o) const {
        return LapDataPageState(static_cast<RawValue>(raw_ & o.raw_));
    }
    constexpr void insert(LapDataPageState m) { raw_ = static_cast<RawValue>(raw_ | m.raw_); }
    constexpr void remove(LapDataPageState m) { raw_ = static_cast<RawValue>(raw_ & ~m.raw_); }

    friend constexpr bool operator==(LapDataPageState, LapDataPageState) = default;

  private:
    RawValue raw_ = 0;
};

inline constexpr LapDataPageState LapDataPageState::page0{RawValue{1}};
inline constexpr LapDataPageState LapDataPageState::page1{RawValue{2}};
inline constexpr LapDataPageState LapDataPageState::page2{RawValue{4}};
inline constexpr LapDataPageState LapDataPageState::all{RawValue{7}};

} // namespace draftwell
