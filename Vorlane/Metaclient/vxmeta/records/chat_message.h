// ChatMessage: one chat message record of the service: the asset it belongs to, its kind, its
// sender and its content. Not signed.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class ChatMessage : public Record<ChatMessage> {
public:
    std::string created_at;
    std::string updated_at;
    std::string asset;
    std::string kind;
    std::string sender;
    std::string content;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<ChatMessage>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
};

} // namespace VxMeta
