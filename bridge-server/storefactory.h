#pragma once

#include "store.h"

#include <memory>
#include <string>

/// Makes the store named on the command line: "sqlite:FILE" or
/// "redis://HOST:PORT[/DB]".
class StoreFactory
{
public:
    /// The store opened and checked; null with the reason in `error`.
    static std::unique_ptr<Store> open(const std::string &spec, const Store::Limits &limits,
                                       std::string *error);
};
