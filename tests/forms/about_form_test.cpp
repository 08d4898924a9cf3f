// frmAbout's behaviour against the recording view.
#include "brevio/forms/about_form.h"

#include <gtest/gtest.h>

#include "brevio/forms/site.h"
#include "brevio/version.h"
#include "recording_view.h"

namespace brevio::forms {
namespace {

TEST(AboutForm, ShowsItsTextsAndTheLinkOpensWhatIsShown) {
  testing::FakeTarnex tarnex;
  testing::RecordingView view;
  _CTarnex* available = &tarnex;
  AboutForm about(view, [&] { return available; });
  about.Form_Load();
  // What the user reads; the addresses are the build's settings.
  EXPECT_EQ(view.Text(AboutControl::Label1), std::string("Brevio ") + kVersion);
  EXPECT_EQ(view.Text(AboutControl::Label2),
            "This free software may trim your web pages like HTML, ASP, PHP, etc. Remove "
            "unwanted characters from your web pages, make your web page files clean and save "
            "bandwidth.");
  EXPECT_EQ(view.Text(AboutControl::Label5), kWebSite);
  EXPECT_EQ(view.Text(AboutControl::Label6), kSupportAddress);
  view.SetText(AboutControl::Label5, "https://changed.example");
  about.Label5_Click();
  available = nullptr;  // the library could not be had: nothing opens
  about.Label5_Click();
  EXPECT_EQ(tarnex.opened, std::vector<std::string>{"https://changed.example"});
  EXPECT_FALSE(view.box_closed);
  about.Form_Load();
  EXPECT_EQ(view.Text(AboutControl::Label5), kWebSite) << "each showing starts afresh";
  about.OKButton_Click();
  EXPECT_TRUE(view.box_closed);
}

}  // namespace
}  // namespace brevio::forms
