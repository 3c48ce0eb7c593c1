/*
 * @test
 * @summary Entering Vendroskel's trap prints one line and exits with 1
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.*
 * @run junit VendroskelTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;

class VendroskelTest {
    @Test
    void enteringTheTrapPrintsOneLineAndExitsWithOne() {
        ChildJvm.Result r = new ChildJvm(VendroskelMain.class).run();
        assertEquals(1, r.exitCode, r.toString());
        assertEquals("should not reach here\n", r.stdout, r.toString());
        assertEquals("", r.stderr, r.toString());
    }
}
