// Rows captured from the SharePoint tables and the document tree built from them. Plain records of
// strings, held by the engine so that the row decoder can fill them and the document side can join them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mdf {

struct SharepointDocs {};
struct AllWebs {};
struct AllList {};
struct SPSDocStream {};
struct SPServerDocumentData {};
struct WebList {};

}  // namespace mdf
