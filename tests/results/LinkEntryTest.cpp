// The stored link entry: written, read back and refused.

#include "results/LinkEntry.h"

#include <gtest/gtest.h>

#include <string>

#include "results/Collections.h"
#include "results/MemberSnapshot.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

DriveLink usbStick() {
    DriveLink link;
    link.usb = UsbLink{5000000, "3.20", "uas", 0x0781, 0x5583, "SanDisk", "Ultra Fit", "4C53"};
    return link;
}

DriveLink nativeCard() {
    DriveLink link;
    link.card = CardIdentity{.type = "SD",
                             .manfid = 0x03,
                             .oemid = 0x5344,
                             .name = "SN64G",
                             .date = "05/2023",
                             .serial = "0x8f1c2a3b",
                             .hwrev = "0x8",
                             .fwrev = "0x0",
                             .preferredEraseSize = 4194304,
                             .claims = SdClaims{10, 3, 30, 2},
                             .busTiming = "sd uhs SDR104"};
    return link;
}

TEST(LinkEntryText, NamesEveryFieldInAFixedOrder) {
    EXPECT_EQ(linkEntryText(DriveLink{}), "reader=0");
    EXPECT_EQ(linkEntryText(usbStick()),
              "reader=0;usb.speed=5000000;usb.version=3.20;usb.driver=uas;usb.vendor=0781;"
              "usb.product=5583;usb.manufacturer=SanDisk;usb.name=Ultra Fit;usb.serial=4C53");
    EXPECT_EQ(linkEntryText(nativeCard()),
              "reader=0;card.type=SD;card.manfid=000003;card.oemid=5344;card.name=SN64G;"
              "card.date=05/2023;card.serial=0x8f1c2a3b;card.hwrev=0x8;card.fwrev=0x0;"
              "card.erase=4194304;card.timing=sd uhs SDR104;card.claims=10,3,30,2");
}

TEST(LinkEntryText, ReadsBackWhatItWrote) {
    DriveLink reader = usbStick();
    reader.behindReader = true;
    reader.usb->product = "Card;Reader=100% \x01\n";
    DriveLink noClaims = nativeCard();
    noClaims.card->claims.reset();
    DriveLink both = nativeCard();
    both.usb = usbStick().usb;
    for (const DriveLink& link : {DriveLink{}, usbStick(), reader, nativeCard(), noClaims, both}) {
        const std::string text = linkEntryText(link);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(parseLinkEntry(text), link);
    }
}

TEST(LinkEntryText, SkipsNamesALaterWriterAdds) {
    EXPECT_EQ(parseLinkEntry("reader=0;usb.lanes=2"), DriveLink{});
    EXPECT_EQ(parseLinkEntry("future=x;" + linkEntryText(usbStick())), usbStick());
}

TEST(LinkEntryText, RefusesMalformedValues) {
    const std::string usb = linkEntryText(usbStick());
    const std::string card = linkEntryText(nativeCard());
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    for (const std::string& bad : {std::string(),
                                   std::string("reader=2"),
                                   std::string("usb.speed=1"),
                                   std::string("reader=0;reader=0"),
                                   std::string("reader=0;"),
                                   std::string("reader"),
                                   std::string("reader=0;=x"),
                                   replaced(usb, "Ultra Fit", "Ultra%2"),
                                   replaced(usb, "Ultra Fit", "Ultra%zz"),
                                   replaced(usb, ";usb.serial=4C53", ""),
                                   replaced(usb, "5000000", "-5"),
                                   replaced(usb, "5000000", "99999999999"),
                                   replaced(usb, "0781", "781"),
                                   replaced(usb, "0781", "07g1"),
                                   replaced(usb, "reader=0", "reader=1;usb.x=1") + card.substr(8),
                                   replaced(card, "000003", "0x0003"),
                                   replaced(card, "4194304", "4M"),
                                   replaced(card, "10,3,30,2", "10,3,30"),
                                   replaced(card, "10,3,30,2", "8,3,30,2"),
                                   replaced(card, "10,3,30,2", "10,2,30,2"),
                                   replaced(card, "10,3,30,2", "10,3,31,2"),
                                   replaced(card, "10,3,30,2", "10,3,30,3"),
                                   replaced(card, "10,3,30,2", "10,3,30,2,"),
                                   replaced(card, "card.fwrev=0x0;", ""),
                                   std::string("reader=0;card.claims=10,3,30,2"),
                                   replaced(card, "reader=0", "reader=1"),
                                   std::string("reader=1")}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseLinkEntry(bad));
    }
}

TEST(LinkEntryFile, StoredAndReadFromAResultFile) {
    TempDir folder;
    const std::string path = folder.file("link.qkc");
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->addEntry("DRIVEID", "USB Flash Disk 1.00", 0, nullptr));
        ASSERT_TRUE(addLinkEntry(*file, nativeCard()));
    }
    auto read = openCollection(path.c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(readLinkEntry(*read), nativeCard());
}

TEST(LinkEntryFile, AbsentOrMalformedEntryReadsAsNothing) {
    MemberSnapshot none;
    none.append("DRIVEID", "USB Flash Disk 1.00", 0, nullptr);
    EXPECT_FALSE(readLinkEntry(none));
    MemberSnapshot bad;
    bad.append(kLinkKey, "reader=yes", 0, nullptr);
    EXPECT_FALSE(readLinkEntry(bad));
    MemberSnapshot noText;
    noText.append(kLinkKey, nullptr, 0, nullptr);
    EXPECT_FALSE(readLinkEntry(noText));
    MemberSnapshot good;
    good.append(kLinkKey, "reader=0", 0, nullptr);
    EXPECT_EQ(readLinkEntry(good), DriveLink{});
}

}  // namespace
}  // namespace vorn::test
