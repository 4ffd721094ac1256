// The element list in memory: frame ranges through frame edits, selection and clipboard,
// texts and images, styles, hit tests and the URL link list.
#include "elements/ElementList.h"
#include "tests/elements/BlockBytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

using zov::CElementList;
using zov::ElementRecord;

struct Range {
    int32_t first, last;
    bool operator==(const Range&) const = default;
};

std::vector<Range> Ranges(const CElementList& list) {
    std::vector<Range> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back({list.At(i)->firstFrame, list.At(i)->lastFrame});
    return out;
}

int64_t SumOfSizes(const CElementList& list) {
    int64_t sum = 0;
    for (int i = 0; i < list.Count(); ++i)
        sum += 20 + list.At(i)->size;
    return sum;
}

TEST(ElementList, CreateChecksRangeAndKindAndKeepsTheTotals) {
    CElementList list;
    EXPECT_EQ(list.Create(-1, 3, zov::ELEMENT_BOX), nullptr);
    EXPECT_EQ(list.Create(4, 3, zov::ELEMENT_BOX), nullptr);
    EXPECT_EQ(list.Create(0, 0, zov::ELEMENT_RESERVED7), nullptr);
    EXPECT_EQ(list.Create(0, 0, 11), nullptr);
    EXPECT_EQ(list.Create(0, 0, -1), nullptr);
    EXPECT_EQ(list.Count(), 0);
    const size_t fixed[] = {28, 40, 40, 188, 128, 128, 128, 0, 24, 80, 548};
    for (int kind = 0; kind <= 10; ++kind) {
        if (kind == 7)
            continue;
        ElementRecord* r = list.Create(2, 2, kind);
        ASSERT_NE(r, nullptr) << kind;
        EXPECT_EQ(r->size, fixed[kind]);
        EXPECT_EQ(r->body, std::vector<uint8_t>(fixed[kind], 0));
        EXPECT_TRUE(r->tail.empty());
    }
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
    EXPECT_EQ(list.At(0)->kind, zov::ELEMENT_LINE); // creation order
    EXPECT_EQ(list.At(9)->kind, zov::ELEMENT_SAVEAREA);

    ASSERT_EQ(list.Delete(list.At(3)), 0);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
    EXPECT_EQ(list.DeleteByBody(list.At(0)->body.data()), 0);
    EXPECT_EQ(list.DeleteByBody(nullptr), -1);
    ElementRecord stranger;
    stranger.body.assign(28, 0);
    EXPECT_EQ(list.Delete(&stranger), -1);
    EXPECT_EQ(list.Count(), 8);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TotalBytes(), 0);
    EXPECT_EQ(list.Delete(&stranger), -1); // empty list
}

TEST(ElementList, ElementsInFrame) {
    CElementList list;
    ElementRecord* out[3] = {};
    EXPECT_EQ(list.ElementsInFrame(5, out, 3), 0);
    EXPECT_EQ(list.ElementsInFrame(5, out, 0), -1);
    EXPECT_EQ(list.ElementsInFrame(5, nullptr, 3), -1);
    ElementRecord* a = list.Create(0, 5, zov::ELEMENT_BOX);
    list.Create(6, 9, zov::ELEMENT_BOX);
    ElementRecord* c = list.Create(5, 5, zov::ELEMENT_LINE);
    ElementRecord* d = list.Create(1, 8, zov::ELEMENT_CIRCLE);
    EXPECT_EQ(list.ElementsInFrame(5, out, 3), 3);
    EXPECT_EQ(out[0], a);
    EXPECT_EQ(out[1], c);
    EXPECT_EQ(out[2], d);
    EXPECT_EQ(list.CountInFrame(5), 3);
    EXPECT_EQ(list.CountInFrame(10), 0);
    ElementRecord* two[2] = {};
    EXPECT_EQ(list.ElementsInFrame(5, two, 2), -2);
    EXPECT_EQ(two[0], a); // the first max are written
    EXPECT_EQ(two[1], c);
}

TEST(ElementListFrames, DeleteCutsMovesAndDropsRanges) {
    CElementList list;
    list.Create(5, 15, zov::ELEMENT_BOX);
    list.Create(15, 30, zov::ELEMENT_BOX);
    ElementRecord* inside = list.Create(12, 18, zov::ELEMENT_BOX);
    list.Create(0, 4, zov::ELEMENT_BOX);
    list.Create(8, 25, zov::ELEMENT_BOX);
    list.Create(10, 10, zov::ELEMENT_LINE); // exactly the first deleted frame
    list.Select(inside);
    list.CopySelection();
    ASSERT_EQ(list.AdjustForFrames("FRAMEDELETE", 10, 19, 0), 0);
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{5, 9}, {10, 20}, {0, 4}, {8, 15}}));
    EXPECT_EQ(list.SelectionCount(), 0);
    EXPECT_EQ(list.ClipboardCount(), 0);
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
}

// A delete can hand the elements it covers over instead of freeing them; Take and Insert move
// the same objects out and back with their ids, keeping the totals, selection and clipboard.
TEST(ElementListFrames, DeleteHandsCoveredElementsOverAndTheyGoBackWithTheirIds) {
    CElementList list;
    ElementRecord* keep = list.Create(0, 4, zov::ELEMENT_BOX);
    ElementRecord* inside = list.Create(12, 18, zov::ELEMENT_TEXT);
    ElementRecord* line = list.Create(10, 10, zov::ELEMENT_LINE);
    ASSERT_TRUE(keep && inside && line);
    ASSERT_EQ(list.SetText(inside, "abcde"), 0);
    const uint64_t insideId = inside->id, lineId = line->id;
    EXPECT_NE(insideId, lineId);
    EXPECT_EQ(list.FindId(insideId), inside);
    list.Select(inside);
    list.CopySelection();
    std::vector<std::unique_ptr<ElementRecord>> removed;
    ASSERT_EQ(list.AdjustForFrames("FRAMEDELETE", 10, 19, 0, &removed), 0);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[0].get(), inside); // list order, the same objects
    EXPECT_EQ(removed[1].get(), line);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindId(insideId), nullptr);
    EXPECT_EQ(list.SelectionCount(), 0);
    EXPECT_EQ(list.ClipboardCount(), 0);
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
    ASSERT_EQ(list.Insert(0, std::move(removed[1])), 0);
    ASSERT_EQ(list.Insert(99, std::move(removed[0])), 0); // past the end: appended
    EXPECT_EQ(list.At(0), line);
    EXPECT_EQ(list.At(2), inside);
    EXPECT_EQ(inside->id, insideId);
    EXPECT_EQ(inside->Text(), "abcde");
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
    EXPECT_EQ(list.Count(), 3);
    // Ids are not handed out again, not even after Clear.
    std::unique_ptr<ElementRecord> out = list.Take(keep);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(list.Take(keep), nullptr); // no longer in the list
    list.Clear();
    ElementRecord* fresh = list.Create(1, 2, zov::ELEMENT_BOX);
    ASSERT_NE(fresh, nullptr);
    EXPECT_GT(fresh->id, insideId);
    EXPECT_GT(fresh->id, lineId);
    EXPECT_EQ(list.Insert(0, nullptr), -1);
}

TEST(ElementListFrames, PasteGrowsAndMovesRanges) {
    CElementList list;
    list.Create(5, 15, zov::ELEMENT_BOX);
    list.Create(10, 12, zov::ELEMENT_BOX);
    list.Create(0, 9, zov::ELEMENT_BOX);
    ASSERT_EQ(list.AdjustForFrames("framePaste", 20, 22, 10), 0); // 3 frames in at index 10
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{5, 18}, {13, 15}, {0, 9}}));
    EXPECT_EQ(list.AdjustForFrames("FRAMEPASTE", 3, 2, 0), -1);
    EXPECT_EQ(list.AdjustForFrames("FRAMECUT", 0, 2, 0), -1);
    EXPECT_EQ(list.AdjustForFrames(nullptr, 0, 2, 0), -1);
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{5, 18}, {13, 15}, {0, 9}}));
}

TEST(ElementListFrames, RangesAtTheTopOfI32DoNotWrap) {
    // A range read from a file can sit anywhere in i32; a paste must not make it negative.
    CElementList list;
    list.Create(0x7FFFFFF0, 0x7FFFFFFE, zov::ELEMENT_BOX);
    ASSERT_EQ(list.AdjustForFrames("FRAMEPASTE", 0, 99, 0), 0);
    EXPECT_GE(list.At(0)->firstFrame, 0x7FFFFFF0);
    EXPECT_LE(list.At(0)->firstFrame, list.At(0)->lastFrame);
}

TEST(ElementListClipboard, PasteAppendsDeepCopiesOnTheGivenFrames) {
    CElementList list;
    ElementRecord* text = list.Create(0, 2, zov::ELEMENT_TEXT);
    ElementRecord* image = list.Create(10, 20, zov::ELEMENT_IMAGE);
    list.Create(1, 1, zov::ELEMENT_LINE);
    ASSERT_EQ(list.SetText(text, "copy me"), 0);
    zov::ImageInfoHeader info{};
    info.biSize = 40, info.biWidth = 1, info.biHeight = 1, info.biPlanes = 1, info.biBitCount = 24;
    const uint8_t px[3] = {1, 2, 3};
    ASSERT_EQ(list.SetImage(image, info, px, 3), 0);
    list.Select(text);
    list.Select(image);
    list.CopySelection();
    EXPECT_EQ(list.ClipboardCount(), 2);
    EXPECT_EQ(list.PasteClipboard(-1, 3), -1);
    EXPECT_EQ(list.PasteClipboard(5, 4), -1);
    ASSERT_EQ(list.PasteClipboard(4, 7), 0);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{0, 2}, {10, 20}, {1, 1}, {4, 7}, {4, 7}}));
    EXPECT_FALSE(list.IsSelected(list.At(3)));
    EXPECT_FALSE(list.IsSelected(list.At(4)));
    EXPECT_EQ(list.SelectionCount(), 2);
    EXPECT_EQ(list.At(3)->Text(), "copy me");
    EXPECT_EQ(list.At(4)->tail, (std::vector<uint8_t>{1, 2, 3, 0}));
    ASSERT_EQ(list.SetText(text, "changed"), 0); // the copy is its own
    EXPECT_EQ(list.At(3)->Text(), "copy me");
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));

    // Deleting the selection empties the clipboard too.
    list.DeleteSelection();
    EXPECT_EQ(list.ClipboardCount(), 0);
    EXPECT_EQ(list.SelectionCount(), 0);
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{1, 1}, {4, 7}, {4, 7}}));
    EXPECT_EQ(list.PasteClipboard(0, 0), 0);
    EXPECT_EQ(list.Count(), 3);

    // ... even when what it holds was not selected.
    list.Select(list.At(0));
    list.CopySelection();
    list.ClearSelection();
    list.Select(list.At(2));
    list.DeleteSelection();
    EXPECT_EQ(list.ClipboardCount(), 0);
    EXPECT_EQ(list.Count(), 2);
}

TEST(ElementListClipboard, Reserved7StopsThePaste) {
    using elementtest::Bytes;
    Bytes b;
    b.i32(2).i32(48 + 40).i32(148).i32(0);
    b.i32(28).i32(0).i32(0).i32(0).i32(0).zeros(28); // a line
    b.i32(20).i32(0).i32(0).i32(7).i32(0).zeros(20); // kind 7
    elementtest::TempBlockFile tf(148, b.b);
    CElementList list;
    ASSERT_EQ(list.Read(tf.file, 0x20031211), 0);
    list.Select(list.At(0));
    list.Select(list.At(1));
    list.Select(list.At(0));
    list.CopySelection();
    EXPECT_EQ(list.PasteClipboard(3, 3), -1);
    EXPECT_EQ(Ranges(list), (std::vector<Range>{{0, 0}, {0, 0}, {3, 3}})); // the copy made first stays
}

TEST(ElementListSelection, OrderIterationAndMembership) {
    CElementList list;
    ElementRecord* a = list.Create(0, 0, zov::ELEMENT_BOX);
    ElementRecord* b = list.Create(0, 0, zov::ELEMENT_BOX);
    ElementRecord* c = list.Create(0, 0, zov::ELEMENT_BOX);
    ElementRecord stranger;
    EXPECT_EQ(list.Select(&stranger), -1);
    EXPECT_EQ(list.Select(c), 0);
    EXPECT_EQ(list.Select(a), 0);
    EXPECT_EQ(list.Select(b), 0);
    int cursor = 0;
    EXPECT_EQ(list.NextSelected(cursor), c);
    EXPECT_EQ(list.NextSelected(cursor), a);
    EXPECT_EQ(list.NextSelected(cursor), b);
    EXPECT_EQ(list.NextSelected(cursor), nullptr);
    EXPECT_EQ(list.Deselect(a), 0);
    EXPECT_EQ(list.Deselect(a), -1);
    EXPECT_FALSE(list.IsSelected(a));
    EXPECT_TRUE(list.IsSelected(b));
    list.CopySelection();
    EXPECT_EQ(list.RemoveFromClipboard(c), 0);
    EXPECT_EQ(list.ClipboardCount(), 1);
    ASSERT_EQ(list.Delete(b), 0); // leaves selection and clipboard with it
    EXPECT_EQ(list.SelectionCount(), 1);
    EXPECT_EQ(list.ClipboardCount(), 0);
    list.ClearSelection();
    EXPECT_EQ(list.SelectionCount(), 0);
}

TEST(ElementListSelection, MoveShiftsEveryCoordinateOfTheKind) {
    CElementList list;
    ElementRecord* line = list.Create(0, 0, zov::ELEMENT_LINE);
    ElementRecord* box2 = list.Create(0, 0, zov::ELEMENT_BOX2);
    ElementRecord* sub = list.Create(0, 0, zov::ELEMENT_SUBSCRIPT2);
    ElementRecord* text = list.Create(0, 0, zov::ELEMENT_TEXT);
    ElementRecord* area = list.Create(0, 0, zov::ELEMENT_SAVEAREA);
    ElementRecord* still = list.Create(0, 0, zov::ELEMENT_BOX);
    *line->Body<zov::LineBody>() = {1, 2, 3, 4, 9, 9, 9};
    box2->Body<zov::Box2Body>()->outline[7] = {100, 200};
    area->Body<zov::SaveAreaBody>()->firstFrame = 6;
    for (ElementRecord* r : {line, box2, sub, text, area})
        list.Select(r);
    list.MoveSelection(10, -1);
    const auto* l = line->Body<zov::LineBody>();
    EXPECT_EQ((std::vector<int32_t>{l->x1, l->y1, l->x2, l->y2, l->penWidth}),
              (std::vector<int32_t>{11, 1, 13, 3, 9}));
    const auto* b2 = box2->Body<zov::Box2Body>();
    EXPECT_EQ(b2->textRect.left, 10);
    EXPECT_EQ(b2->textRect.bottom, -1);
    EXPECT_EQ(b2->tip.x, 10);
    EXPECT_EQ(b2->outline[0].y, -1);
    EXPECT_EQ(b2->outline[7].x, 110);
    EXPECT_EQ(b2->outline[7].y, 199);
    EXPECT_EQ(sub->Body<zov::TextBody>()->point.x, 10);
    EXPECT_EQ(sub->Body<zov::TextBody>()->rect.right, 10);
    EXPECT_EQ(text->Body<zov::TextBody>()->point.x, 0); // only kinds 5 and 6 carry the point
    EXPECT_EQ(text->Body<zov::TextBody>()->rect.top, -1);
    EXPECT_EQ(area->Body<zov::SaveAreaBody>()->area.right, 10);
    EXPECT_EQ(area->Body<zov::SaveAreaBody>()->firstFrame, 6);
    EXPECT_EQ(still->Body<zov::ShapeBody>()->rect.left, 0);
}

TEST(ElementListTails, TextsRoundUpToFourBytes) {
    CElementList list;
    ElementRecord* t = list.Create(0, 0, zov::ELEMENT_SUBSCRIPT1);
    struct {
        const char* text;
        size_t tail;
    } cases[] = {{"abcde", 8}, {"abc", 4}, {"abcdefgh", 12}, {"", 4}, {nullptr, 0}, {"a\r\nb", 8}};
    for (const auto& c : cases) {
        ASSERT_EQ(list.SetText(t, c.text), 0);
        EXPECT_EQ(t->tail.size(), c.tail) << (c.text ? c.text : "(null)");
        EXPECT_EQ(t->size, 128 + c.tail);
        EXPECT_EQ(t->Body<zov::TextBody>()->textLength, c.tail);
        EXPECT_EQ(t->Text(), c.text ? c.text : "");
        EXPECT_EQ(list.TotalBytes(), 20 + 128 + static_cast<int64_t>(c.tail));
    }
    ASSERT_EQ(list.SetText(t, "abcde"), 0);
    EXPECT_EQ(t->tail, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 0, 0, 0}));
    EXPECT_EQ(list.SetText(list.Create(0, 0, zov::ELEMENT_BOX), "x"), -1);
    EXPECT_EQ(list.SetText(list.Create(0, 0, zov::ELEMENT_IMAGE), "x"), -1);

    ElementRecord* image = list.Create(0, 0, zov::ELEMENT_IMAGE);
    image->Body<zov::ImageBody>()->reserved64 = 5;
    zov::ImageInfoHeader info{};
    info.biWidth = 3;
    info.biHeight = 2;
    info.biBitCount = 24;
    const std::vector<uint8_t> bits(22, 0x7E);
    ASSERT_EQ(list.SetImage(image, info, bits.data(), 22), 0);
    EXPECT_EQ(image->tail.size(), 24u);
    EXPECT_EQ(image->tail[21], 0x7E);
    EXPECT_EQ(image->tail[22], 0);
    EXPECT_EQ(image->size, 80u + 24);
    EXPECT_EQ(image->Body<zov::ImageBody>()->bitsLength, 24u);
    EXPECT_EQ(image->Body<zov::ImageBody>()->info.biWidth, 3);
    EXPECT_EQ(image->Body<zov::ImageBody>()->reserved64, 0u);
    EXPECT_EQ(list.SetImage(image, info, nullptr, 4), -1);
    EXPECT_EQ(list.SetImage(t, info, bits.data(), 4), -1);
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));
}

TEST(ElementListTails, TextWithoutTerminatorFromAFileStaysInsideItsTail) {
    using elementtest::Bytes;
    Bytes b;
    b.i32(1).i32(20 + 24 + 4).i32(148).i32(0);
    b.i32(28).i32(0).i32(0).i32(8).i32(0).i32(0).i32(0).i32(0).i32(0).i32(4).i32(0);
    b.u8('w').u8('x').u8('y').u8('z');
    elementtest::TempBlockFile tf(148, b.b);
    CElementList list;
    ASSERT_EQ(list.Read(tf.file, 0x20031211), 0);
    EXPECT_EQ(list.At(0)->Text(), "wxyz");
    zov::ElementStyle style;
    ASSERT_TRUE(list.ReadStyle(list.At(0), style));
    EXPECT_STREQ(style.text, "wxyz");
}

TEST(ElementListStyle, ExchangedFieldsPerKind) {
    CElementList list;
    zov::ElementStyle s;
    zov::LogFontA font{};
    font.lfHeight = -16;
    std::strcpy(font.lfFaceName, "Sans");
    zov::ResetElementStyle(s, &font, "styled");
    EXPECT_EQ(s.penWidth, 1);
    EXPECT_EQ(s.foreColour, 0xFFFFFFu);
    EXPECT_EQ(s.borderColour, 0xFF0000u);
    EXPECT_EQ(s.borderFlag, 1);
    s.penWidth = 4, s.penStyle = 2, s.spareColour = 0x11, s.borderColour = 0x22, s.backColour = 0x33;
    s.foreColour = 0x44, s.scrollMode = 1, s.fillFlag = 0;

    ElementRecord* line = list.Create(0, 0, zov::ELEMENT_LINE);
    ASSERT_EQ(list.ApplyStyle(line, s), 0);
    EXPECT_EQ(line->Body<zov::LineBody>()->lineColour, 0x22u);
    EXPECT_EQ(line->Body<zov::LineBody>()->penStyle, 2);

    ElementRecord* sub1 = list.Create(0, 0, zov::ELEMENT_SUBSCRIPT1);
    ElementRecord* text = list.Create(0, 0, zov::ELEMENT_TEXT);
    for (ElementRecord* r : {sub1, text}) {
        ASSERT_EQ(list.ApplyStyle(r, s), 0);
        const auto* b = r->Body<zov::TextBody>();
        EXPECT_EQ(b->fillColour, 0x33u);
        EXPECT_EQ(b->borderColour, 0x22u);
        EXPECT_EQ(b->textColour, 0x44u);
        EXPECT_EQ(b->spareColour, 0x11u);
        EXPECT_EQ(b->fillFlag, 0);
        EXPECT_EQ(b->font.lfHeight, -16);
        EXPECT_EQ(r->Text(), "styled");
    }
    EXPECT_EQ(sub1->Body<zov::TextBody>()->scrollMode, 1);
    EXPECT_EQ(text->Body<zov::TextBody>()->scrollMode, 0);

    ElementRecord* url = list.Create(0, 0, zov::ELEMENT_URLLINK);
    ASSERT_EQ(list.ApplyStyle(url, s), 0);
    EXPECT_EQ(url->Text(), "styled");
    ElementRecord* image = list.Create(0, 0, zov::ELEMENT_IMAGE);
    ASSERT_EQ(list.ApplyStyle(image, s), 0);
    EXPECT_EQ(image->Body<zov::ImageBody>()->transparentFlag, 1u);
    ElementRecord* area = list.Create(0, 0, zov::ELEMENT_SAVEAREA);
    ASSERT_EQ(list.ApplyStyle(area, s), 0);
    EXPECT_EQ(area->body, std::vector<uint8_t>(548, 0));
    EXPECT_EQ(list.TotalBytes(), SumOfSizes(list));

    // ReadStyle starts from zero and brings back only the kind's fields and text.
    zov::ElementStyle r;
    std::memset(&r, 0xAB, sizeof r);
    ASSERT_TRUE(list.ReadStyle(url, r));
    EXPECT_STREQ(r.text, "styled");
    EXPECT_EQ(r.penWidth, 0);
    EXPECT_EQ(r.borderColour, 0u);
    std::memset(&r, 0xAB, sizeof r);
    ASSERT_TRUE(list.ReadStyle(sub1, r));
    EXPECT_EQ(r.scrollMode, 1);
    EXPECT_EQ(r.penWidth, 4);
    EXPECT_EQ(r.backColour, 0x33u);
    EXPECT_EQ(r.foreColour, 0x44u);
    EXPECT_STREQ(r.font.lfFaceName, "Sans");
    EXPECT_EQ(r.reserved1, 0);
    ASSERT_TRUE(list.ReadStyle(line, r));
    EXPECT_EQ(r.borderColour, 0x22u);
    EXPECT_EQ(r.fillFlag, 0);
    EXPECT_EQ(r.text[0], '\0');
    ASSERT_TRUE(list.ReadStyle(image, r));
    EXPECT_EQ(r.fillFlag, 0); // transparent, so not filled
    image->Body<zov::ImageBody>()->transparentFlag = 0;
    ASSERT_TRUE(list.ReadStyle(image, r));
    EXPECT_EQ(r.fillFlag, 1);

    // A style text filled to the brim still ends inside the element's tail.
    std::memset(s.text, 'q', sizeof s.text);
    ASSERT_EQ(list.ApplyStyle(text, s), 0);
    EXPECT_EQ(text->tail.size(), 32772u);
    EXPECT_EQ(text->Text().size(), 32768u);
    ASSERT_TRUE(list.ReadStyle(text, r));
    EXPECT_EQ(std::strlen(r.text), 32767u);
}

TEST(ElementListHitTest, GeometryAndFrameRules) {
    CElementList list;
    ElementRecord* box = list.Create(3, 5, zov::ELEMENT_BOX);
    box->Body<zov::ShapeBody>()->rect = {20, 20, 10, 10}; // stored un-normalised
    EXPECT_TRUE(list.HitTest(box, 10, 10, 4, false));
    EXPECT_TRUE(list.HitTest(box, 19, 19, 4, false));
    EXPECT_FALSE(list.HitTest(box, 20, 15, 4, false)); // right edge excluded
    EXPECT_FALSE(list.HitTest(box, 15, 9, 4, false));
    EXPECT_FALSE(list.HitTest(box, 15, 15, 6, false)); // not shown on 6
    EXPECT_FALSE(list.HitTest(box, 15, 15, 4, true));  // not its first frame
    EXPECT_TRUE(list.HitTest(box, 15, 15, 3, true));

    ElementRecord* line = list.Create(0, 9, zov::ELEMENT_LINE);
    *line->Body<zov::LineBody>() = {0, 0, 100, 0, 1, 0, 0};
    EXPECT_TRUE(list.HitTest(line, 50, 2, 0, false));
    EXPECT_TRUE(list.HitTest(line, 50, -3, 0, false));
    EXPECT_FALSE(list.HitTest(line, 50, 3, 0, false)); // grown box, bottom edge excluded
    EXPECT_TRUE(list.HitTest(line, -3, 0, 0, false));
    EXPECT_FALSE(list.HitTest(line, 103, 0, 0, false)); // grown box, right edge excluded
    ElementRecord* dot = list.Create(0, 9, zov::ELEMENT_LINE);
    *dot->Body<zov::LineBody>() = {5, 5, 5, 5, 1, 0, 0};
    EXPECT_TRUE(list.HitTest(dot, 7, 7, 0, false));
    EXPECT_FALSE(list.HitTest(dot, 8, 7, 0, false));
    ElementRecord* far = list.Create(0, 9, zov::ELEMENT_LINE);
    *far->Body<zov::LineBody>() = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 1, 0, 0};
    EXPECT_TRUE(list.HitTest(far, 1000, 1000, 0, false));
    EXPECT_FALSE(list.HitTest(far, 1000, -1000, 0, false));

    ElementRecord* circle = list.Create(0, 0, zov::ELEMENT_CIRCLE);
    circle->Body<zov::ShapeBody>()->rect = {0, 0, 40, 20};
    EXPECT_TRUE(list.HitTest(circle, 20, 10, 0, false));
    EXPECT_TRUE(list.HitTest(circle, 1, 10, 0, false));
    EXPECT_FALSE(list.HitTest(circle, 1, 1, 0, false)); // the corner is outside the ellipse

    ElementRecord* balloon = list.Create(0, 0, zov::ELEMENT_BOX2);
    // A triangle (0,0) (40,0) (0,40) in the first seven points; the eighth is ignored.
    zov::ElementPoint pts[8] = {{0, 0}, {40, 0}, {0, 40}, {0, 40}, {0, 40}, {0, 40}, {0, 40}, {500, 500}};
    std::memcpy(balloon->Body<zov::Box2Body>()->outline, pts, sizeof pts);
    EXPECT_TRUE(list.HitTest(balloon, 5, 5, 0, false));
    EXPECT_FALSE(list.HitTest(balloon, 30, 30, 0, false));
    EXPECT_FALSE(list.HitTest(balloon, 100, 110, 0, false)); // inside only with the eighth point

    ElementRecord* url = list.Create(0, 0, zov::ELEMENT_URLLINK);
    url->Body<zov::UrlLinkBody>()->rect = {0, 0, 100, 100};
    EXPECT_EQ(list.FindAt(0, 5, 1, false), line); // line, balloon and link all hit: list order
    EXPECT_EQ(list.FindAt(0, 60, 50, false), url);
    EXPECT_EQ(list.FindAt(0, 500, -500, false), nullptr);
    EXPECT_FALSE(list.HitTest(nullptr, 0, 0, 0, false));
}

TEST(ElementListUrlLinks, OneLinePerLinkInListOrder) {
    CElementList list;
    ElementRecord* a = list.Create(1, 2, zov::ELEMENT_URLLINK);
    list.Create(0, 0, zov::ELEMENT_BOX);
    ElementRecord* b = list.Create(3, 40, zov::ELEMENT_URLLINK);
    a->Body<zov::UrlLinkBody>()->rect = {10, 20, 30, -40};
    ASSERT_EQ(list.SetText(a, "http://example.org/x?y=1"), 0);
    char name[] = "/tmp/zov_urls_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(list.WriteUrlLinks(name), 0);
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    ::unlink(name);
    EXPECT_EQ(ss.str(), "1, 2, 10, 20, 30, -40, http://example.org/x?y=1\n3, 40, 0, 0, 0, 0, \n");
    (void)b;
    EXPECT_EQ(list.WriteUrlLinks("/nonexistent-folder/links.txt"), -1);
}

} // namespace
