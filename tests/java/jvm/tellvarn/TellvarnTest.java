/*
 * @test
 * @summary tellvarn allocates busily inside the native and the JVM can end meanwhile
 * @library /testkit /fixtures /scenarios ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit TellvarnTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import zoltest.ChildJvm;

@Timeout(60)
class TellvarnTest {
    @Test
    void getMallocLock02RunsBusyInsideTheNativeAndTheVmCanEndMeanwhile() {
        ChildJvm.Result r = new ChildJvm(TellvarnMain.class).timeout(30).run();
        assertEquals(0, r.exitCode, r.toString());
        Matcher m = Pattern.compile("inside getMallocLock02 for 1 s, on the CPU (\\d+)% of it\n").matcher(r.stdout);
        assertTrue(m.matches(), r.toString());
        // A thread that blocked instead of allocating shows 0%. A busy one gets
        // its share of the CPU, which on a loaded or emulated machine can be a
        // few percent: any measurable time on the CPU counts.
        assertTrue(Integer.parseInt(m.group(1)) >= 1, r.toString());
    }
}
