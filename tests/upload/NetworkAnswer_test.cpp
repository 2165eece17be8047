// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/NetworkAnswer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrolin {
namespace {

// Each network's answers as its servers give them, and what they mean for the sending; the
// text kept is the network's own words on one line.
TEST(NetworkAnswer, EachNetworksAnswersAreReadAsItsServersMeanThem) {
    struct Case {
        Network network;
        HttpAnswer answer;
        Verdict verdict;
        std::string text;
    };
    const std::vector<Case> cases = {
        {Network::Wunderground, {200, "success\n", "", ""}, Verdict::Sent, "HTTP 200: success"},
        {Network::Wunderground,
         {200, "INVALIDPASSWORDID|Password or key and/or id are incorrect\n", "", ""},
         Verdict::Refused,
         "HTTP 200: INVALIDPASSWORDID|Password or key and/or id are incorrect"},
        {Network::Wunderground,
         {401, "unauthorized", "", ""},
         Verdict::Refused,
         "HTTP 401: unauthorized"},
        {Network::Wunderground, {200, "", "", ""}, Verdict::Failed, "HTTP 200"},
        {Network::Wunderground,
         {502, "<html>\r\nBad\tGateway</html>", "", ""},
         Verdict::Failed,
         "HTTP 502: <html>  Bad Gateway</html>"},
        {Network::Wunderground,
         {0, "", "", "keine Verbindung"},
         Verdict::Failed,
         "keine Verbindung"},
        {Network::PWSweather,
         {200, "ERROR: Not a vailid Station ID", "", ""},
         Verdict::Refused,
         "HTTP 200: ERROR: Not a vailid Station ID"},
        {Network::PWSweather,
         {200, "Data Logged and posted", "", ""},
         Verdict::Sent,
         "HTTP 200: Data Logged and posted"},
        {Network::Wow, {403, "", "", ""}, Verdict::Refused, "HTTP 403"},
        {Network::Wow,
         {429, "Too frequent observations", "", ""},
         Verdict::TooSoon,
         "HTTP 429: Too frequent observations"},
        {Network::Wow, {200, "{}", "", ""}, Verdict::Sent, "HTTP 200: {}"},
        {Network::Windy,
         {400, R"({"message":"Invalid password"})", "", ""},
         Verdict::Refused,
         "HTTP 400: Invalid password"},
        {Network::Windy,
         {400, R"({"message":"temp out of range"})", "", ""},
         Verdict::Failed,
         "HTTP 400: temp out of range"},
        {Network::Windy, {401, "", "", ""}, Verdict::Refused, "HTTP 401"},
        {Network::Windy,
         {409, R"({"message":"Duplicate"})", "", ""},
         Verdict::Sent,
         "HTTP 409: Duplicate"},
        {Network::OpenSenseMap,
         {201, "\"Measurements saved in box\"", "", ""},
         Verdict::Sent,
         "HTTP 201: \"Measurements saved in box\""},
        {Network::OpenSenseMap,
         {401, R"({"message":"Box access token not valid!"})", "", ""},
         Verdict::Refused,
         "HTTP 401: {\"message\":\"Box access token not valid!\"}"},
        {Network::OpenSenseMap, {422, "", "", ""}, Verdict::Failed, "HTTP 422"},
    };
    for (const Case& c : cases) {
        const Outcome o = Judge(c.network, c.answer, 0);
        EXPECT_EQ(o.verdict, c.verdict) << c.answer.body;
        EXPECT_EQ(o.text, c.text);
    }
    const Outcome later = Judge(
        Network::Windy, {429, R"({"retry_after":"1970-01-01T00:01:00.000Z"})", "", ""}, 15000);
    EXPECT_EQ(later.verdict, Verdict::TooSoon);
    EXPECT_EQ(later.retryAfterMs, 45000);
    const Outcome wow = Judge(Network::Wow, {429, "Too frequent observations", "120", ""}, 0);
    EXPECT_EQ(wow.retryAfterMs, 120000);
    EXPECT_FALSE(
        Judge(Network::Wow, {429, "", "Wed, 09 Dec 2026 07:00:00 GMT", ""}, 0).retryAfterMs);
    EXPECT_EQ(Judge(AprsAnswer{false, "", "Zeitüberschreitung"}).verdict, Verdict::Failed);
}

}  // namespace
}  // namespace tavrolin
