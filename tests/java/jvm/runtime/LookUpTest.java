package zoltest.runtime;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import compiler.runtime.criticalnatives.lookup.LookUp;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import zoltest.ChildJvm;

/**
 * Without -XX:+CriticalJNINatives (deprecated in JDK 16, gone by JDK 25) the
 * JVM binds only the ordinary entries, which leave the result as the caller
 * put it. JDK 17 with the option binds the critical entries once a native's
 * wrapper is compiled.
 */
@Timeout(120)
class LookUpTest {
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

    @Test
    void criticalEntriesJudgeTheArgumentsOnJdk17() {
        assumeTrue(Runtime.version().feature() == 17, "critical natives are bound only by JDK 17 here");
        ChildJvm.Result r = new ChildJvm("zoltest.scenarios.CriticalLookUpMain")
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
