#include "formbody.h"

#include <algorithm>

namespace {

const std::string DataField = "SessionData=";
const std::string NameField = "SessionName=";

std::string unplussed(std::string text)
{
    std::replace(text.begin(), text.end(), '+', ' ');
    return text;
}

} // namespace

FormBody FormBody::parse(const std::string &body)
{
    FormBody form;
    if (body.empty() || body == std::string(1, '\0'))
        return form;

    // A session name is the whole of its form, so an "&" in it is part of it.
    if (body.compare(0, NameField.size(), NameField) == 0) {
        form.m_fields.emplace_back("SessionName", unplussed(body.substr(NameField.size())));
        return form;
    }

    // SessionData takes everything after its name, whatever it holds.
    std::string head = body;
    std::string::size_type data = std::string::npos;
    if (body.compare(0, DataField.size(), DataField) == 0)
        data = 0;
    else if (const auto at = body.find("&" + DataField); at != std::string::npos)
        data = at + 1;
    if (data != std::string::npos) {
        form.m_fields.emplace_back("SessionData", unplussed(body.substr(data + DataField.size())));
        head = body.substr(0, data == 0 ? 0 : data - 1);
    }

    std::string::size_type start = 0;
    while (start < head.size()) {
        auto end = head.find('&', start);
        if (end == std::string::npos)
            end = head.size();
        const std::string field = head.substr(start, end - start);
        const auto equals = field.find('=');
        if (equals == std::string::npos)
            form.m_fields.emplace_back(unplussed(field), std::string());
        else
            form.m_fields.emplace_back(unplussed(field.substr(0, equals)),
                                       unplussed(field.substr(equals + 1)));
        start = end + 1;
    }
    return form;
}

bool FormBody::has(const std::string &name) const
{
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [&](const auto &field) { return field.first == name; });
}

std::string FormBody::value(const std::string &name) const
{
    for (const auto &field : m_fields) {
        if (field.first == name)
            return field.second;
    }
    return std::string();
}
