// The class queries: a list of records of one class from a GET of a list path. A 404 answer and
// a body that is not JSON give an empty list; every other failure of the request passes on.
#pragma once

#include <memory>
#include <string>

#include <json/value.h>

#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

// One new record per element of an array, in order, or one record of a single object, each read
// with update (a copy from the service). An element that is not an object fails the whole list.
template <class T>
RecordListPtr<T> listFromJSONValue(const Json::Value& value) {
    auto list = std::make_shared<RecordList<T>>();
    auto add = [&list](const Json::Value& element) {
        auto record = std::make_shared<T>();
        record->update(element);
        list->push_back(std::move(record));
    };
    if (value.isArray()) {
        list->reserve(value.size());
        for (const Json::Value& element : value) add(element);
    } else {
        add(value);
    }
    return list;
}

// GET of path through a fresh executor; the records of the reply, built outside every lock.
template <class T>
RecordListPtr<T> queryClass(const std::string& path) {
    try {
        VCSR executor;
        const std::string body = executor.get(path);
        Json::Value value;
        if (!parse(body, value)) return std::make_shared<RecordList<T>>();
        return listFromJSONValue<T>(value);
    } catch (const VxMetaException& e) {
        if (e.httpStatus == 404) return std::make_shared<RecordList<T>>();
        throw;
    }
}

} // namespace VxMeta
