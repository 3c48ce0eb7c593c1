/*
 * @test
 * @summary Yarbellin's critical entries judge every argument
 * @requires jdk.version.major <= 17 & vm.opt.CriticalJNINatives != false
 * @comment JDK 17 for aarch64 turns -XX:+CriticalJNINatives off ("not supported in this VM"):
 *          it never binds critical entries there.
 * @requires os.arch != "aarch64"
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* zoltest.scenarios.* zol.share.*
 * @run junit CriticalLookUpTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;
import zoltest.scenarios.CriticalLookUpMain;

/**
 * JDK 11 and 17 with -XX:+CriticalJNINatives (on by default in JDK 11,
 * deprecated in JDK 16, an unrecognized option from JDK 21) bind the critical
 * entries once a native's wrapper is compiled; later JDKs, or a run that turns
 * the option off, skip this test.
 */
class CriticalLookUpTest {
    @Test
    void criticalEntriesJudgeTheArguments() {
        ChildJvm.Result r = new ChildJvm(CriticalLookUpMain.class)
                .options("-XX:+CriticalJNINatives").run();
        assertEquals(0, r.exitCode, r.toString());
        assertEquals(String.join("\n",
                "bound true true",
                "m1 2",
                "m2 2",
                "m1 343434.1 2",
                "m1 byte 11 1",
                "m1 343433.9 1",
                "m1 NaN 1",
                "m1 1e300 1",
                "m1 result 0 1",
                "m1 result length 2 1",
                "m1 result length 0 0",
                "m1 result null survived",
                "m2 int[] 1112 1",
                "m2 int[] null 1",
                "m2 float[] -Inf 1",
                "m2 double[] length 4 1",
                "m2 float 3e9 1",
                ""), r.stdout, r.toString());
    }
}
