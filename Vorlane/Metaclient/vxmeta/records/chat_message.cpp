#include "vxmeta/records/chat_message.h"

namespace VxMeta {

const RecordSchema<ChatMessage>& ChatMessage::schema() {
    static const RecordSchema<ChatMessage> table{
        "chatmessage",
        {
            field<&ChatMessage::created_at>("created_at", LocalOnly),
            field<&ChatMessage::updated_at>("updated_at", LocalOnly),
            field<&ChatMessage::asset>("asset"),
            field<&ChatMessage::kind>("kind"),
            field<&ChatMessage::sender>("sender"),
            field<&ChatMessage::content>("content"),
            field<&ChatMessage::id>("id"),
        },
    };
    return table;
}

std::string ChatMessage::idstr() const { return idStr(id); }

std::string ChatMessage::geturn() const { return std::to_string(id); }

} // namespace VxMeta
