// contacts.ini on arbitrary bytes: a book read from a file writes the file back unchanged, and a
// contact with any account and alias either reads back whole or leaves the file as it was.
// Input: a length byte, an account of that many bytes, a length byte, an alias, then the file.

#include "app/settings/ContactsStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel::settings;

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::string_view Take(std::string_view& input)
{
    if (input.empty())
        return {};
    const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(input.front()), input.size() - 1);
    const std::string_view taken = input.substr(1, n);
    input.remove_prefix(1 + n);
    return taken;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string account(Take(input));
    const std::string alias(Take(input));
    const IniDocument doc = IniDocument::parse(input);
    Check(IniDocument::join(doc.splitSections()).serialize() == input, "split and joined is the file");

    const ContactBook book = ReadContacts(doc);
    Check(WriteContacts(doc, book).serialize() == input, "a book as read writes nothing new");

    ContactBook changed = book;
    const auto [row, added] = changed.recordMessage(account, "Nick", "2026-12-08T09:05:07");
    Contact choices = changed.at(row);
    choices.alias = alias;
    choices.mute = true;
    changed.setChoices(row, choices);
    const std::string saved = WriteContacts(doc, changed).serialize();
    if (!IsStorableAccount(account)) {
        Check(saved == input, "a refused account leaves the file alone");
        return 0;
    }
    const ContactBook back = ReadContacts(IniDocument::parse(saved));
    const Contact* read = back.find(account);
    Check(read != nullptr, "a storable account reads back");
    Check(read->mute && read->messages == changed.at(row).messages, "its values read back");
    Check(back.size() == changed.size(), "no contact is lost or added");
    return 0;
}
