#include "vxmeta/comm/http_method.h"

namespace VxMeta {

const HttpMethod HttpMethod::GET("GET");
const HttpMethod HttpMethod::POST("POST");
const HttpMethod HttpMethod::PUT("PUT");
const HttpMethod HttpMethod::DEL("DELETE");

} // namespace VxMeta
