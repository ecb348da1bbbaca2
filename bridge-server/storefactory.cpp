#include "storefactory.h"

#include "redisstore.h"
#include "sqlitestore.h"

std::unique_ptr<Store> StoreFactory::open(const std::string &spec, const Store::Limits &limits,
                                          std::string *error)
{
    if (spec.compare(0, 7, "sqlite:") == 0) {
        auto store = std::make_unique<SqliteStore>(limits);
        if (!store->open(spec.substr(7), error))
            return nullptr;
        return store;
    }
    if (spec.compare(0, 8, "redis://") == 0) {
        std::string host;
        int port = 0;
        int database = 0;
        if (!RedisStore::parseUrl(spec, &host, &port, &database, error))
            return nullptr;
        // A Redis that is down at the start is waited for: each request
        // tries again, and /health says what is wrong.
        return std::make_unique<RedisStore>(limits, host, port, database);
    }
    *error = "the store \"" + spec + "\" is neither sqlite:FILE nor redis://HOST:PORT[/DB]";
    return nullptr;
}
