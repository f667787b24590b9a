// Reading of the catalogue document (root element "content") into ServiceContent2.
#pragma once

#include "CatalogueContent.h"
#include "XmlObjectReader.h"

// The reader registered for "content"; returns a ServiceContent2 (as XmlObjectPtr).
// Throws XmlObjectException for a missing required property or child, FormatException for a
// bad version and LocaleException for a language the system does not know (or when no
// LocaleCatalog exists).
XmlObjectPtr ReadCatalogueContent(XmlObjectReader& reader, void* context);

// Registers ReadCatalogueContent under "content". This file's static initialisation does it
// once; calling it again changes nothing. Returns true.
bool RegisterContentReader();

// Reads the children of the current "descs" node into translations.
void ReadTranslations(XmlObjectReader& reader, LocalizedText& translations);

// Parses catalogue text and reads it: null when ParseXml finds no document; otherwise the
// catalogue or one of the exceptions above (or ParseXml's); a root other than "content" throws
// std::runtime_error "XML object reader not found.".
ServiceContent2Ptr ParseCatalogue(const MemoryView& text);
