// What the progress window is told about one archive: the item an event is about (the archive or one
// of its files), the phase (loading or extracting), and the interface that shows them.
#pragma once

#include <cstdint>
#include <string>

namespace TarvexReader {

struct ItemTypes {
    enum class Kind { Archive, File };
    Kind kind;
    std::string name;

    static ItemTypes archive(std::string n) { return {Kind::Archive, std::move(n)}; }
    static ItemTypes file(std::string n) { return {Kind::File, std::move(n)}; }
    bool operator==(const ItemTypes&) const = default;
};

struct ProcessingEvent {
    enum class Phase { Loading, Extracting };
    Phase phase;
    ItemTypes item;

    static ProcessingEvent loading(ItemTypes i) { return {Phase::Loading, std::move(i)}; }
    static ProcessingEvent extracting(ItemTypes i) { return {Phase::Extracting, std::move(i)}; }
    bool operator==(const ProcessingEvent&) const = default;
};

// Each operation answers whether the user has cancelled.
class ExtractProgressDisplayer {
public:
    virtual ~ExtractProgressDisplayer() = default;
    virtual bool displayEvent(const ProcessingEvent& event) = 0;
    virtual bool displayProgress(const ProcessingEvent& event, std::uint64_t current, std::uint64_t maximum) = 0;
    virtual bool displayEventEnd(const ProcessingEvent& event) = 0;
};

} // namespace TarvexReader
