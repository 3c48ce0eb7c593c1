/*
 * @test
 * @summary Yarbellin's ordinary entries leave the result unchanged
 * @requires vm.opt.CriticalJNINatives != true & (jdk.version.major >= 17 | vm.opt.CriticalJNINatives == false)
 * @comment JDK 8 and 11 turn CriticalJNINatives on by default: once a native's wrapper is compiled (at once under
 *          -Xcomp) it calls the critical entries, so there the test needs -XX:-CriticalJNINatives.
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* YarbellinTest
 * @run driver zoltest.JUnitChild YarbellinTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import compiler.runtime.criticalnatives.lookup.LookUp;
import org.junit.jupiter.api.Test;

/**
 * Without -XX:+CriticalJNINatives (on by default in JDK 8 and 11, deprecated in
 * JDK 16, an unrecognized option from JDK 21) the JVM binds only the
 * ordinary entries, which leave the result as the caller put it (the
 * critical entries: YarbellinCriticalTest).
 */
class YarbellinTest {
    @Test
    void ordinaryEntriesLeaveTheResultUnchanged() {
        for (byte initial : new byte[] {-1, 0, 1, 2, 42}) {
            assertEquals(initial, LookUp.m1Expected(initial), "m1");
            assertEquals(initial, LookUp.m2Expected(initial), "m2");
        }
    }

    @Test
    void ordinaryEntriesIgnoreWrongArgumentsToo() {
        byte[] result = {-1, -1};
        LookUp.m1((byte) 11, 0, 'B', 0, Float.NaN, Double.POSITIVE_INFINITY, result);
        LookUp.m2(0, null, 0, new long[0], 0, null, 0, null, result);
        assertEquals(-1, result[0]);
        assertEquals(-1, result[1]);
        LookUp.m1(LookUp.B, LookUp.L, LookUp.C, LookUp.I, LookUp.F, LookUp.D, null);
        LookUp.m1(LookUp.B, LookUp.L, LookUp.C, LookUp.I, LookUp.F, LookUp.D, new byte[0]);
    }
}
