#include "CatalogueReader.h"

#include "LocaleCatalog.h"
#include "SupportExceptions.h"

#include <boost/make_shared.hpp>

#include <stdexcept>

namespace {

const bool g_contentReaderRegistered = RegisterContentReader();

LANGID LanguageOf(const std::wstring& localeName)
{
    const LocaleCatalog* catalog = LocaleCatalog::Instance();
    const LocaleRecord* record = nullptr;
    if (catalog == nullptr || !catalog->FindLcid(localeName, record))
        throw LocaleException();
    return LANGIDFROMLCID(record->lcid);
}

ServiceContentProduct2Ptr ReadProduct(XmlObjectReader& reader)
{
    ServiceContentProduct2Ptr product = boost::make_shared<ServiceContentProduct2>();
    XmlTextToInt(reader.ReadProperty(L"id", L"-1"));  // identifiers of the gateway's own; not kept
    product->label = reader.ReadRequiredProperty(L"label");
    product->isNew = XmlTextToBool(reader.ReadProperty(L"new", L"0"));
    product->type = reader.ReadProperty(L"type", std::wstring());
    product->idsapi = reader.ReadProperty(L"idsapi", std::wstring());
    product->version = VersionNumber::Parse(reader.ReadRequiredProperty(L"version"));
    product->file = reader.ReadRequiredProperty(L"file");
    product->os = reader.ReadRequiredProperty(L"os");
    product->sg = XmlTextToInt(reader.ReadProperty(L"sg", L"10"));
    return product;
}

} // namespace

bool RegisterContentReader()
{
    RegisterXmlObjectReader(L"content", &ReadCatalogueContent);
    return true;
}

void ReadTranslations(XmlObjectReader& reader, LocalizedText& translations)
{
    while (reader.EnterNextChild()) {
        const std::wstring textName = reader.CurrentName();
        while (reader.TryEnterChild(L"transl")) {
            const std::wstring lang = reader.ReadRequiredProperty(L"lang");
            const std::wstring text = reader.ReadProperty(L"Value", std::wstring());
            // A second text for the same name and language is ignored; the first stays.
            translations.AddText(textName, LanguageOf(lang), text);
            reader.LeaveChild();
        }
        reader.LeaveChild();
    }
}

XmlObjectPtr ReadCatalogueContent(XmlObjectReader& reader, void* /*context*/)
{
    ServiceContent2Ptr content = boost::make_shared<ServiceContent2>();
    reader.ReadRequiredProperty(L"protocol");

    while (reader.TryEnterChild(L"prodgroup")) {
        XmlTextToInt(reader.ReadProperty(L"id", std::wstring()));  // not kept
        ServiceContentProductGroup2Ptr group = boost::make_shared<ServiceContentProductGroup2>();
        group->label = reader.ReadRequiredProperty(L"label");
        content->groups.push_back(group);

        reader.EnterChild(L"descs");
        ReadTranslations(reader, group->translations);
        reader.LeaveChild();

        reader.EnterChild(L"products");
        while (reader.TryEnterChild(L"prod")) {
            ServiceContentProduct2Ptr product = ReadProduct(reader);
            content->products.push_back(product);
            group->products.push_back(product);
            reader.EnterChild(L"descs");
            ReadTranslations(reader, product->translations);
            reader.LeaveChild();  // descs
            reader.LeaveChild();  // prod
        }
        reader.LeaveChild();  // products
        reader.LeaveChild();  // prodgroup
    }
    return content;
}

ServiceContent2Ptr ParseCatalogue(const MemoryView& text)
{
    XmlNodePtr root = ParseXml(text);
    if (!root)
        return ServiceContent2Ptr();
    // Only the catalogue reader's result may be taken as a catalogue.
    if (root->Name() != L"content")
        throw std::runtime_error("XML object reader not found.");
    RegisterContentReader();
    return boost::static_pointer_cast<ServiceContent2>(ReadXmlObject(root, nullptr));
}
