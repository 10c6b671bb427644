#include "boundary/gauge_vocabulary.h"
#include "state/host_bridge.h"
#include "tests/unit/test_support.h"

using test_support::ModuleTest;

TEST_F(ModuleTest, HostVariablesAreReadThroughThePanelServices) {
  set_var(HOST_VAR_LATITUDE, 123.0);
  EXPECT_EQ(refresh_host_var(HV_LATITUDE), 123.0);
  EXPECT_EQ(ins_state.host_vars[HV_LATITUDE].token_id, 71u);
  send_key_event(EVENT_HEADING_BUG_SET, 90);
  ASSERT_EQ(events().size(), 1u);
  EXPECT_EQ(events()[0], std::make_pair(static_cast<uint32_t>(EVENT_HEADING_BUG_SET), 90u));
}

TEST_F(ModuleTest, WithoutAHostTableVariablesKeepTheirValues) {
  ImportTable.panel_services.table = nullptr;
  ins_state.host_vars[HV_TICK].value = 7.0;
  EXPECT_EQ(refresh_host_var(HV_TICK), 7.0);
  send_key_event(EVENT_HEADING_BUG_SET, 1);  // goes nowhere, must not crash
}
