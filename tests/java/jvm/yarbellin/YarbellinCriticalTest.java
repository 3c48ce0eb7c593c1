/*
 * @test
 * @summary Yarbellin's critical entries judge every argument
 * @requires jdk.version.major <= 17 & vm.opt.CriticalJNINatives != false
 * @comment JDK 17 for aarch64 turns -XX:+CriticalJNINatives off ("not supported in this VM"):
 *          it never binds critical entries there.
 * @requires os.arch != "aarch64"
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.*
 * @run junit YarbellinCriticalTest
 */

import static org.junit.jupiter.api.Assertions.assertEquals;

import compiler.runtime.criticalnatives.lookup.LookUp;
import org.junit.jupiter.api.Test;
import zoltest.ChildJvm;

/**
 * JDK 8, 11 and 17 with -XX:+CriticalJNINatives (on by default in 8 and 11,
 * deprecated in JDK 16, an unrecognized option from JDK 21) bind the critical
 * entries once a native's wrapper is compiled; later JDKs, or a run that turns
 * the option off, skip this test.
 */
class YarbellinCriticalTest {
    @Test
    void criticalEntriesJudgeTheArguments() {
        ChildJvm.Result r = new ChildJvm(Verdicts.class)
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

    /**
     * For a JVM that binds critical entries once a native's wrapper is compiled: calls m1 and m2 until the
     * critical entry answers, then prints one line "case verdict" per case.
     */
    static final class Verdicts {
        private static final int[] IA = {1111, 0, 0};
        private static final long[] LA = {4444, 0, 0};
        private static final float[] FA = {7777.9f, 0, 0};
        private static final double[] DA = {4545.9, 0, 0};

        private static byte m1(byte b, float f, double d, byte[] result) {
            LookUp.m1(b, LookUp.L, LookUp.C, LookUp.I, f, d, result);
            return result.length > 0 ? result[0] : 0;
        }

        private static byte m2(int[] ia, float f, float[] fa, double[] da, byte[] result) {
            LookUp.m2(LookUp.I, ia, LookUp.L, LA, f, fa, LookUp.D, da, result);
            return result[0];
        }

        public static void main(String[] args) {
            boolean m1Bound = false;
            boolean m2Bound = false;
            for (int i = 0; i < 1_000_000 && !(m1Bound && m2Bound); i++) {
                m1Bound = LookUp.m1Expected((byte) -1) != -1;
                m2Bound = LookUp.m2Expected((byte) -1) != -1;
            }
            System.out.println("bound " + m1Bound + " " + m2Bound);
            System.out.println("m1 " + LookUp.m1Expected((byte) -1));
            System.out.println("m2 " + LookUp.m2Expected((byte) -1));
            System.out.println("m1 343434.1 " + m1(LookUp.B, 343434.1f, LookUp.D, new byte[] {-1}));
            System.out.println("m1 byte 11 " + m1((byte) 11, LookUp.F, LookUp.D, new byte[] {-1}));
            System.out.println("m1 343433.9 " + m1(LookUp.B, 343433.9f, LookUp.D, new byte[] {-1}));
            System.out.println("m1 NaN " + m1(LookUp.B, Float.NaN, LookUp.D, new byte[] {-1}));
            System.out.println("m1 1e300 " + m1(LookUp.B, LookUp.F, 1e300, new byte[] {-1}));
            System.out.println("m1 result 0 " + m1(LookUp.B, LookUp.F, LookUp.D, new byte[] {0}));
            System.out.println("m1 result length 2 " + m1(LookUp.B, LookUp.F, LookUp.D, new byte[] {-1, -1}));
            System.out.println("m1 result length 0 " + m1(LookUp.B, LookUp.F, LookUp.D, new byte[0]));
            LookUp.m1(LookUp.B, LookUp.L, LookUp.C, LookUp.I, LookUp.F, LookUp.D, null);
            System.out.println("m1 result null survived");
            System.out.println("m2 int[] 1112 " + m2(new int[] {1112, 0, 0}, LookUp.F, FA, DA, new byte[] {-1}));
            System.out.println("m2 int[] null " + m2(null, LookUp.F, FA, DA, new byte[] {-1}));
            System.out.println("m2 float[] -Inf " + m2(IA, LookUp.F, new float[] {Float.NEGATIVE_INFINITY, 0, 0},
                    DA, new byte[] {-1}));
            System.out.println("m2 double[] length 4 " + m2(IA, LookUp.F, FA, new double[] {4545, 0, 0, 0},
                    new byte[] {-1}));
            System.out.println("m2 float 3e9 " + m2(IA, 3e9f, FA, DA, new byte[] {-1}));
        }
    }
}
