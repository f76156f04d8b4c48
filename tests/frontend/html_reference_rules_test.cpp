// The source path is made absolute with the link helpers; these rows pin the join of a
// current directory without a trailing separator and the refusal of over-long names.
#include <gtest/gtest.h>

#include "frontend/conversion_run.h"
#include "frontend/html_reference_rules.h"

TEST(HtmlReferenceRules, CurrentDirectoriesAreAbsoluteBasesInBothFlavours) {
    HtmlReferenceRules rules;
    EXPECT_EQ(1, rules.pathKind("C:\\Work"));
    EXPECT_EQ(3, rules.pathKind("/home/u"));
    EXPECT_EQ(0, rules.pathKind("page.htm"));
    EXPECT_EQ("C:\\Work\\page.htm", rules.resolveReference("C:\\Work", "page.htm").value());
    EXPECT_EQ("/home/u/docs/page.htm", rules.resolveReference("/home/u", "docs/page.htm").value());
    EXPECT_EQ("/home/u/x.htm", rules.normalizePath("/home/u/docs/../x.htm").value());
}

TEST(HtmlReferenceRules, OverLongInputsGiveNoResultInsteadOfACutName) {
    HtmlReferenceRules rules;
    const std::string longName(300, 'a');
    EXPECT_FALSE(rules.resolveReference("/home/u", longName).has_value());
    EXPECT_FALSE(rules.normalizePath("/" + longName).has_value());
    EXPECT_FALSE(rules.resolveReference("/" + std::string(250, 'b'), "page.htm").has_value());
}
