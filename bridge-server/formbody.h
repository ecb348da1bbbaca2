#pragma once

#include <string>
#include <utility>
#include <vector>

/// A bridge form body read the way the connector writes it: fields
/// "name=value" joined by "&", every blank sent as "+", nothing else escaped.
/// So "+" turns back into a blank and nothing is percent-decoded, and the
/// field SessionData, always the last, runs to the end of the body: an "&",
/// "=" or "%" inside it is data. Likewise a body that starts with
/// SessionName (the registration form, which has no other field) is that one
/// field, "&" included. A body of one zero byte is the empty form.
class FormBody
{
public:
    static FormBody parse(const std::string &body);

    bool has(const std::string &name) const;
    /// The field's value (empty when it is missing).
    std::string value(const std::string &name) const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};
