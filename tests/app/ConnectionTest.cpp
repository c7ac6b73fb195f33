// Connection and uploader interfaces, the factories, the OCI module and the
// options block.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "app/DbConnection.h"
#include "app/FakeConnection.h"
#include "app/OciModule.h"
#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"
#include "app/TestSupport.h"
#include "kernel/tables/api/UploadOptions.h"

namespace {

TEST(Factories, ConnectionsByKind) {
  UnloadOciModule();
  for (int kind : {-1, 0, 2, 3, 99}) EXPECT_EQ(CreateConnection(kind), nullptr) << kind;
  std::unique_ptr<CDbConnection> odbc(CreateConnection(1));
  ASSERT_NE(odbc, nullptr);
  EXPECT_EQ(odbc->GetKind(), 1);
  EXPECT_NE(dynamic_cast<COdbcConnection*>(odbc.get()), nullptr);
}

TEST(Factories, UploadersByConnectionKind) {
  UnloadOciModule();
  CFakeConnection c;
  c.Kind = 0;
  std::unique_ptr<CUploader> u(CreateUploader(&c, nullptr));
  ASSERT_NE(dynamic_cast<CNullUploader*>(u.get()), nullptr);
  int rows = 7;
  CUploadOptions o;
  EXPECT_TRUE(u->Run("T", &o, &rows));
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(u->Message(), "");

  c.Kind = 1;
  std::unique_ptr<CUploader> odbc(CreateUploader(&c, nullptr));
  EXPECT_NE(dynamic_cast<COdbcUploader*>(odbc.get()), nullptr);

  c.Kind = 2;
  EXPECT_EQ(CreateUploader(&c, nullptr), nullptr);
}

TEST(ConnectionBase, NonVirtualMembers) {
  CFakeConnection c;
  std::ostringstream a;
  c.SetLogStream(&a);
  c.SetLogStream(nullptr);
  EXPECT_EQ(c.LogStream, &a);
  c.SetUserName("  bob ");
  EXPECT_EQ(c.GetUserName(), "bob");
  c.SetUserName("\t\n");
  EXPECT_EQ(c.GetUserName(), "");
  c.SetQuiet(true);
  EXPECT_TRUE(c.IsQuiet());
  c.SetConnectText(" dsn=x ");
  EXPECT_EQ(c.ConnectString, " dsn=x ");
}

TEST(ConnectionBase, UploaderKeepsItsProgressControl) {
  CNullUploader u;
  auto* bar = reinterpret_cast<CProgressCtrl*>(&u);  // any non-null address
  u.SetProgressControl(bar);
  u.SetProgressControl(nullptr);
  EXPECT_EQ(u.Progress, bar);
}

TEST(OdbcConnectionSkeleton, ConnectStringIsTrimmed) {
  COdbcConnection c;
  c.SetConnectText("  dsn=x;uid=a \t");
  EXPECT_EQ(c.GetConnectStringRef(), "dsn=x;uid=a");
}

class OciModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    setenv("QL_OCI_STUB_LOG", (dir / "oci.log").c_str(), 1);
  }
  void TearDown() override {
    UnloadOciModule();
    unsetenv("QL_OCI_STUB_LOG");
  }
  qltest::TempDir dir;
};

TEST_F(OciModuleTest, FactoriesGoThroughTheModule) {
  EXPECT_FALSE(LoadOciModule(nullptr)) << "no module beside the test program";
  EXPECT_EQ(CreateConnection(2), nullptr);
  ASSERT_TRUE(LoadOciModuleFrom(QL_OCI_STUB_DIR));
  EXPECT_TRUE(IsOciModuleLoaded());
  {
    std::unique_ptr<CDbConnection> c(CreateConnection(2));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetKind(), 2);
    EXPECT_TRUE(c->OciToolkit);
    c->SetQuiet(true);
    std::unique_ptr<CUploader> u(CreateUploader(c.get(), nullptr));
    ASSERT_NE(u, nullptr);
    int rows = -1;
    EXPECT_TRUE(u->Run("T", nullptr, &rows));
  }
  EXPECT_EQ(qltest::ReadFile(dir / "oci.log"),
            "Create_CCVOCIConn resources=qlres\n"
            "Create_CCVOCIUpload kind=2\n"
            "Run(T) rows=-1\n"
            "~CStubOciUploader\n"
            "~CStubOciConnection Quiet=1\n");
}

TEST_F(OciModuleTest, ModuleWithoutUploadFactoryGivesNoUploader) {
  ASSERT_TRUE(LoadOciModuleFrom(QL_OCI_STUB_DIR "/noupload/"));
  std::unique_ptr<CDbConnection> c(CreateConnection(2));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(CreateUploader(c.get(), nullptr), nullptr);
  c.reset();  // the module's objects go before the module
  EXPECT_FALSE(LoadOciModuleFrom(dir.path() + "/"));
  EXPECT_FALSE(IsOciModuleLoaded());
}

TEST(UploadOptions, ResetGivesTheDefaults) {
  CUploadOptions o;
  o.StyleColumn = "S";
  o.RenditionTable = "R";
  o.RenditionType = 5;
  o.CommandLineRun = o.OdbcOnCommandLine = o.OciOnCommandLine = true;
  o.FirstRow = o.LastRow = o.CommitInterval = o.JobCount = 9;
  o.KeyConstraint = o.SpatialIndex = o.RegisterInCatalog = false;
  o.GrantPublic = o.Merge = o.Append = o.Replace = o.SuppressMessages = true;
  o.Create = o.CreateTarget = o.StyleEnabled = false;
  o.SkipKeyRefresh = o.FlagV = o.PerRowStyles = o.TakeTexts = o.TakeCollections = true;
  o.StorageKind = o.ObjectKind = o.SpareSetting = o.HelpContext = 7;
  o.RegistrationFolder = o.Owner = "x";
  o.IdentityKey = o.IsMappable = o.HasExtension = o.FinishTable = o.AllowTemporal = false;
  o.OciConnection = o.IsSqlServerTarget = o.IndexColumns = o.NoObject = true;
  o.Reset();

  EXPECT_EQ(o.StyleColumn, "CV_STYLE");
  EXPECT_EQ(o.RenditionTable, "");
  EXPECT_EQ(o.RenditionType, 1);
  EXPECT_FALSE(o.CommandLineRun || o.OdbcOnCommandLine || o.OciOnCommandLine);
  EXPECT_EQ(o.FirstRow, 1);
  EXPECT_EQ(o.LastRow, 0);
  EXPECT_EQ(o.CommitInterval, 1000);
  EXPECT_EQ(o.JobCount, 0);
  EXPECT_TRUE(o.KeyConstraint && o.SpatialIndex && o.RegisterInCatalog);
  EXPECT_FALSE(o.GrantPublic || o.Merge || o.Append || o.Replace || o.SuppressMessages);
  EXPECT_TRUE(o.Create && o.CreateTarget && o.StyleEnabled);
  EXPECT_FALSE(o.SkipKeyRefresh || o.FlagV || o.PerRowStyles || o.TakeTexts || o.TakeCollections);
  EXPECT_EQ(o.StorageKind, 1);
  EXPECT_EQ(o.ObjectKind, -1);
  EXPECT_EQ(o.RegistrationFolder, "");
  EXPECT_TRUE(o.IdentityKey && o.IsMappable && o.HasExtension && o.FinishTable && o.AllowTemporal);
  EXPECT_FALSE(o.OciConnection || o.IsSqlServerTarget || o.IndexColumns || o.NoObject);
  EXPECT_EQ(o.SpareSetting, 2);
  EXPECT_EQ(o.HelpContext, 100);
  EXPECT_EQ(o.Owner, "");
}

TEST(UploadOptions, FolderFromFlagIsTrimmedAndCutAtTheFirstBlank) {
  struct Case {
    std::string text, folder;
  } cases[] = {{"", ""}, {"   ", ""}, {" /srv/reg ", "/srv/reg"}, {"c:\\a b\\c", "c:\\a"}, {"\t/x\t/y\n", "/x\t/y"}};
  for (const Case& c : cases) {
    CUploadOptions o;
    o.RegistrationFolder = "old";
    o.SetFolderFromFlag(c.text);
    EXPECT_EQ(o.RegistrationFolder, c.folder) << "[" << c.text << "]";
  }
}

}  // namespace
