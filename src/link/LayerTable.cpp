#include "link/LayerTable.h"

#include "link/Rfc2217Layer.h"
#include "link/TcpLayer.h"
#include "link/TlsLayer.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>

namespace qm240lx {
namespace {

struct Context
{
    QString where;
    const NetAddress& address;
    const PortOptions& options;
};

using LayerMaker = std::unique_ptr<Layer> (*)(std::unique_ptr<Layer> below, const Context&);

struct Entry
{
    std::string_view word;
    bool protocol; // the first word; the others are filters beneath it
    LayerMaker make;
};

const std::array entries{
    Entry{"rfc2217", true,
          [](std::unique_ptr<Layer> below, const Context& context) -> std::unique_ptr<Layer> {
              return std::make_unique<Rfc2217Layer>(context.where, std::move(below));
          }},
    // The bytes as they are, on a line the server has set up.
    Entry{"tcp", true,
          [](std::unique_ptr<Layer> below, const Context&) -> std::unique_ptr<Layer> {
              return below;
          }},
    Entry{"tls", false,
          [](std::unique_ptr<Layer> below, const Context& context) -> std::unique_ptr<Layer> {
              return std::make_unique<TlsLayer>(context.where, context.address.host,
                                                context.options.tls, std::move(below));
          }},
};

const Entry* entryFor(const QString& word)
{
    const auto found = std::ranges::find_if(entries, [&word](const Entry& entry) {
        return word == QLatin1String(entry.word.data(), static_cast<qsizetype>(entry.word.size()));
    });
    return found == entries.end() ? nullptr : &*found;
}

} // namespace

bool LayerTable::accepts(const NetAddress& address)
{
    for (qsizetype position = 0; position < address.layers.size(); ++position) {
        const Entry* entry = entryFor(address.layers[position]);
        if (!entry || entry->protocol != (position == 0) ||
            address.layers.indexOf(address.layers[position]) != position)
            return false;
    }
    return !address.layers.isEmpty();
}

std::unique_ptr<Layer> LayerTable::build(const NetAddress& address, const PortOptions& options)
{
    const Context context{address.text(), address, options};
    std::unique_ptr<Layer> stack =
        std::make_unique<TcpLayer>(context.where, address.host, address.port);
    for (auto word = address.layers.crbegin(); word != address.layers.crend(); ++word)
        stack = entryFor(*word)->make(std::move(stack), context);
    return stack;
}

} // namespace qm240lx
