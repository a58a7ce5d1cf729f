#include "win/speech/SapiVoices.h"

#include "win/common/Wide.h"

#include <cwchar>
#include <utility>

namespace quorvel::win {

namespace {

std::wstring TokenId(ISpObjectToken* token)
{
    wchar_t* id = nullptr;
    if (FAILED(token->GetId(&id)) || !id)
        return {};
    std::wstring text(id);
    CoTaskMemFree(id);
    return text;
}

// Straight from the registry, for a token that cannot read its own values (Wine's): its id is the key's
// path, or (Wine) the key's name in the voices category.
std::wstring RegistryValue(const std::wstring& id, const wchar_t* name)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring path = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\" + id;
    for (const auto& [prefix, key] : {std::pair{L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                                      std::pair{L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER}}) {
        if (id.rfind(prefix, 0) == 0) {
            root = key;
            path = id.substr(lstrlenW(prefix));
        }
    }
    wchar_t value[512] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

std::wstring StringValue(ISpObjectToken* token, const wchar_t* name)
{
    wchar_t* value = nullptr;
    const HRESULT result = token->GetStringValue(name, &value);
    if (result == E_NOTIMPL)
        return RegistryValue(TokenId(token), name);
    if (FAILED(result) || !value)
        return {};
    std::wstring text(value);
    CoTaskMemFree(value);
    return text;
}

} // namespace

std::string TokenDisplayName(ISpObjectToken* token)
{
    // As SpGetDescription: the value named by the user's language in hexadecimal ("804"), then the
    // default value.
    wchar_t language[16];
    std::swprintf(language, 16, L"%x", static_cast<unsigned>(GetUserDefaultUILanguage()));
    std::wstring name = StringValue(token, language);
    if (name.empty())
        name = StringValue(token, nullptr);
    if (name.empty()) {
        name = TokenId(token);
        name.erase(0, name.find_last_of(L'\\') + 1);
    }
    return Utf8(name);
}

std::vector<SapiVoice> ListSapiVoices()
{
    std::vector<SapiVoice> voices;
    ComPtr<ISpObjectTokenCategory> category;
    if (FAILED(CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL, IID_ISpObjectTokenCategory,
                                category.putVoid())) ||
        FAILED(category->SetId(SPCAT_VOICES, FALSE)))
        return voices;
    ComPtr<IEnumSpObjectTokens> tokens;
    ULONG count = 0;
    if (FAILED(category->EnumTokens(nullptr, nullptr, tokens.put())) || !tokens || FAILED(tokens->GetCount(&count)))
        return voices;
    for (ULONG i = 0; i < count; ++i) {
        ComPtr<ISpObjectToken> token;
        if (SUCCEEDED(tokens->Item(i, token.put())) && token)
            voices.push_back({TokenDisplayName(token.get()), token});
    }
    return voices;
}

} // namespace quorvel::win
