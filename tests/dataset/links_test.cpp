// Data sources and links: the notices bound controls hear, AutoEdit, the
// buffer window of a grid, and writing pending text back.
#include <gtest/gtest.h>

#include "data/dataset/db_errors.h"
#include "tests/dataset/memory_dataset.h"

namespace {

using datasettest::TMemoryDataSet;

class RecordingLink : public TDataLink {
public:
    std::vector<std::string> notices;
    std::function<void()> onUpdateData;

protected:
    void ActiveChanged() override { notices.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { notices.push_back("changed"); }
    void DataSetScrolled(int distance) override { notices.push_back("scrolled " + std::to_string(distance)); }
    void RecordChanged(TField* field) override { notices.push_back("record " + (field ? field->FieldName() : "")); }
    void EditingChanged() override { notices.push_back(Editing() ? "editing" : "browsing"); }
    void UpdateData() override
    {
        notices.push_back("update data");
        if (onUpdateData) {
            onUpdateData();
        }
    }
};

class Links : public ::testing::Test {
protected:
    void SetUp() override
    {
        name = new TStringField(&owner);
        name->SetFieldName("FName");
        name->SetDataSet(&data);
        for (int i = 0; i < 100; ++i) {
            data.rows.push_back({std::string("row") + std::to_string(i)});
        }
        source.SetDataSet(&data);
        link.SetDataSource(&source);
    }

    TComponent owner;
    TMemoryDataSet data{nullptr};
    TDataSource source{nullptr};
    RecordingLink link;
    TStringField* name = nullptr;
};

TEST_F(Links, OpenAndCloseAreAnnounced)
{
    data.Open();
    data.Close();
    EXPECT_EQ(link.notices, (std::vector<std::string>{"active", "changed", "inactive"}));
}

TEST_F(Links, DisabledControlsHearOneStateNoticeAndOneRefresh)
{
    data.Open();
    link.notices.clear();
    data.DisableControls();
    data.DisableControls();
    data.Next();
    data.Edit();
    name->SetAsString("x");
    data.EnableControls();
    EXPECT_TRUE(data.ControlsDisabled());
    EXPECT_TRUE(link.notices.empty());
    data.EnableControls();
    EXPECT_FALSE(data.ControlsDisabled());
    EXPECT_EQ(link.notices, (std::vector<std::string>{"editing", "changed"}));
    link.notices.clear();
    data.Cancel();
    data.DisableControls();
    data.Next();
    data.EnableControls();  // state unchanged meanwhile: the refresh only
    EXPECT_EQ(link.notices.back(), "changed");
    EXPECT_EQ(std::count(link.notices.begin(), link.notices.end(), "browsing"), 1);
}

TEST_F(Links, FieldChangesNameTheField)
{
    data.Open();
    data.Edit();
    link.notices.clear();
    name->SetAsString("y");
    EXPECT_EQ(link.notices, std::vector<std::string>{"record FName"});
}

TEST_F(Links, AutoEditPutsABrowsingDatasetIntoEdit)
{
    data.Open();
    EXPECT_TRUE(link.Edit());
    EXPECT_EQ(data.State(), dsEdit);
    data.Cancel();
    source.SetAutoEdit(false);
    EXPECT_FALSE(link.Edit());
    EXPECT_EQ(data.State(), dsBrowse);
    source.SetAutoEdit(true);
    link.SetReadOnly(true);
    EXPECT_FALSE(link.Edit());
    data.editable = false;
    link.SetReadOnly(false);
    EXPECT_THROW(link.Edit(), EDatabaseError);  // "Cannot modify a read-only dataset"
}

TEST_F(Links, PostAsksTheControlsForTheirTextFirstAndItsErrorEndsThePost)
{
    data.Open();
    data.Edit();
    link.onUpdateData = [this] { name->SetAsString("typed"); };
    data.Post();
    EXPECT_EQ(name->AsString(), "typed");
    EXPECT_EQ(data.posts, 1);
    data.Edit();
    link.onUpdateData = [] { throw EDBEditError("Invalid input value.  Use escape key to abandon changes"); };
    EXPECT_THROW(data.Post(), EDBEditError);
    EXPECT_EQ(data.State(), dsEdit);
    EXPECT_EQ(data.posts, 1);
}

TEST_F(Links, NavigationChecksBrowseModeAndPostsOnlyAModifiedRecord)
{
    data.Open();
    data.Edit();
    data.Next();  // unmodified: cancelled
    EXPECT_EQ(data.posts, 0);
    EXPECT_EQ(data.State(), dsBrowse);
    data.Edit();
    name->SetAsString("changed");
    data.Next();
    EXPECT_EQ(data.posts, 1);
    data.Prior();
    EXPECT_EQ(name->AsString(), "changed");
}

TEST_F(Links, AnAppendedRecordLeftUnchangedIsDroppedByNavigation)
{
    data.rows.resize(2);
    data.Open();
    data.Append();
    EXPECT_EQ(data.State(), dsInsert);
    EXPECT_FALSE(data.Modified());
    data.Prior();  // nothing assigned: the insertion is cancelled, not posted
    EXPECT_EQ(data.posts, 0);
    data.Last();
    EXPECT_EQ(data.RecordCount(), 2);
    data.Append();
    name->SetAsString("new");
    data.Cancel();
    EXPECT_EQ(data.RecordCount(), 2);
    EXPECT_EQ(name->AsString(), "row1");
}

TEST_F(Links, AnAppendWhoseNewRecordFailsLeavesNoInsertionBehind)
{
    data.rows.resize(2);
    data.Open();
    data.Next();
    bool failNew = true;
    data.SetOnNewRecord([&failNew](TDataSet&) {
        if (failNew) {
            throw EDatabaseError("no number");
        }
    });
    EXPECT_THROW(data.Append(), EDatabaseError);
    EXPECT_EQ(data.State(), dsBrowse);
    EXPECT_EQ(link.notices.back(), "changed");
    EXPECT_EQ(name->AsString(), "row1");
    EXPECT_EQ(data.RecordCount(), 2);
    EXPECT_THROW(name->SetAsString("x"), EDatabaseError);

    failNew = false;
    bool failCalc = true;
    data.SetOnCalcFields([&failCalc](TDataSet&) {
        if (failCalc) {
            throw EDatabaseError("cannot compute");
        }
    });
    EXPECT_THROW(data.Append(), EDatabaseError);
    EXPECT_EQ(data.State(), dsBrowse);
    EXPECT_EQ(data.RecordCount(), 2);
    failCalc = false;
    data.Append();
    name->SetAsString("new");
    data.Post();
    EXPECT_EQ(data.RecordCount(), 3);
    EXPECT_EQ(data.posts, 1);
}

TEST_F(Links, ADeleteWhoseNextRecordCannotBeReadLeavesTheRecordAndItsEdit)
{
    data.rows.resize(3);
    data.Open();
    data.failFetchAt = 1;
    data.Edit();
    name->SetAsString("x");
    EXPECT_THROW(data.Delete(), EDatabaseError);
    EXPECT_EQ(data.State(), dsEdit);
    EXPECT_EQ(name->AsString(), "x");
    EXPECT_EQ(data.RecNo(), 1);
    data.failFetchAt = -1;
    data.Cancel();
    EXPECT_EQ(name->AsString(), "row0");
    data.Delete();
    EXPECT_EQ(name->AsString(), "row1");  // the following record is current
    EXPECT_FALSE(data.Eof());
}

TEST_F(Links, ABufferWindowReadsOnlyWhatItShows)
{
    data.Open();
    EXPECT_EQ(data.fetches, 1);
    EXPECT_EQ(data.RecordCount(), -1);
    link.SetBufferCount(10);
    EXPECT_EQ(link.RecordCount(), 10);
    EXPECT_EQ(data.fetches, 10);
    EXPECT_EQ(link.ActiveRecord(), 0);
    link.notices.clear();
    data.MoveBy(12);
    EXPECT_EQ(link.ActiveRecord(), 9);
    EXPECT_EQ(link.notices, std::vector<std::string>{"scrolled 3"});
    EXPECT_LE(data.fetches, 13);
    data.Last();
    EXPECT_EQ(data.RecordCount(), 100);
    EXPECT_TRUE(data.Eof());
    EXPECT_EQ(link.ActiveRecord(), 9);
}

TEST_F(Links, GridPaintsOtherRowsThroughTheActiveRecordAndRestoresIt)
{
    data.Open();
    link.SetBufferCount(5);
    data.MoveBy(2);
    std::vector<std::string> painted;
    for (int row = 0; row < link.RecordCount(); ++row) {
        dataset::ActiveRecordGuard guard(link, row);
        painted.push_back(name->DisplayText());
    }
    EXPECT_EQ(painted, (std::vector<std::string>{"row0", "row1", "row2", "row3", "row4"}));
    EXPECT_EQ(name->AsString(), "row2");
    EXPECT_EQ(link.ActiveRecord(), 2);
}

TEST_F(Links, EndOfDataAndStartOfDataFlags)
{
    data.rows.resize(2);
    data.Open();
    EXPECT_TRUE(data.Bof());
    EXPECT_FALSE(data.Eof());
    data.Next();
    EXPECT_FALSE(data.Eof());
    data.Next();
    EXPECT_TRUE(data.Eof());
    EXPECT_EQ(name->AsString(), "row1");
    data.Prior();
    data.Prior();
    EXPECT_TRUE(data.Bof());
    EXPECT_EQ(name->AsString(), "row0");
    data.Close();
    data.rows.clear();
    data.Open();
    EXPECT_TRUE(data.Eof());
    EXPECT_TRUE(data.IsEmpty());
    data.Append();
    EXPECT_FALSE(data.Eof());
    data.Cancel();  // empty again: both flags as after opening
    EXPECT_TRUE(data.IsEmpty());
    EXPECT_TRUE(data.Eof());
    EXPECT_TRUE(data.Bof());
}

TEST_F(Links, FieldLinkFollowsItsFieldAcrossOpenAndClose)
{
    TFieldDataLink fieldLink;
    int shown = 0;
    fieldLink.SetOnDataChange([&shown] { ++shown; });
    fieldLink.SetFieldName("fname");
    fieldLink.SetDataSource(&source);
    EXPECT_EQ(fieldLink.Field(), nullptr);
    data.Open();
    EXPECT_EQ(fieldLink.Field(), name);
    EXPECT_TRUE(fieldLink.CanModify());
    EXPECT_GT(shown, 0);
    int written = 0;
    fieldLink.SetOnUpdateData([&written] { ++written; });
    EXPECT_TRUE(fieldLink.Edit());
    fieldLink.MarkModified();  // the user typed
    data.Post();
    EXPECT_EQ(written, 1);
    EXPECT_FALSE(fieldLink.IsModified());
    data.Close();
    EXPECT_EQ(fieldLink.Field(), nullptr);
}

TEST_F(Links, DestroyingTheDataSourceFirstLeavesFieldLinksWithoutTheirField)
{
    auto ownSource = std::make_unique<TDataSource>(nullptr);
    ownSource->SetDataSet(&data);
    TFieldDataLink fieldLink;
    bool active = false;
    fieldLink.SetOnActiveChange([&] { active = fieldLink.Active(); });
    fieldLink.SetFieldName("FName");
    fieldLink.SetDataSource(ownSource.get());
    data.Open();
    ASSERT_EQ(fieldLink.Field(), name);
    ASSERT_TRUE(active);
    ownSource.reset();
    EXPECT_EQ(fieldLink.DataSource(), nullptr);
    EXPECT_FALSE(active);
    EXPECT_EQ(fieldLink.Field(), nullptr);  // the field may be freed next
    EXPECT_FALSE(fieldLink.CanModify());
}

TEST_F(Links, ALinkOrDataSourceFreedByAnotherControlsNoticeHearsNoMore)
{
    // The first link's handler frees what comes after it, as a window closing
    // in answer to a notice frees its controls.
    class Closer : public TDataLink {
    public:
        std::function<void()> onChange;

    protected:
        void DataSetChanged() override
        {
            if (onChange) {
                onChange();
            }
        }
    };
    auto victim = std::make_unique<RecordingLink>();
    Closer closer;
    closer.SetDataSource(&source);
    victim->SetDataSource(&source);
    closer.onChange = [&victim] { victim.reset(); };
    data.Open();
    EXPECT_EQ(victim, nullptr);
    EXPECT_EQ(source.LinkCount(), 2);

    auto laterSource = std::make_unique<TDataSource>(nullptr);
    laterSource->SetDataSet(&data);
    auto laterLink = std::make_unique<RecordingLink>();
    laterLink->SetDataSource(laterSource.get());
    closer.onChange = [&] {
        laterLink.reset();
        laterSource.reset();
    };
    data.First();
    data.Last();  // a refresh through the first source frees the second one
    data.Close();
    data.Open();
    EXPECT_EQ(laterSource, nullptr);
}

TEST_F(Links, DestroyingTheDatasetFirstLeavesLinksInactive)
{
    auto other = std::make_unique<TMemoryDataSet>(nullptr);
    TDataSource otherSource;
    otherSource.SetDataSet(other.get());
    RecordingLink otherLink;
    otherLink.SetDataSource(&otherSource);
    other->Open();
    EXPECT_TRUE(otherLink.Active());
    other.reset();
    EXPECT_FALSE(otherLink.Active());
    EXPECT_EQ(otherSource.DataSet(), nullptr);
}

}  // namespace
