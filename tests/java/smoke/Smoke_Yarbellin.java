import compiler.runtime.criticalnatives.lookup.LookUp;

public class Smoke_Yarbellin implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class compiler.runtime.criticalnatives.lookup.LookUp";
    }

    public String scenario() {
        return "m1 and m2 through the ordinary entries";
    }

    /** JDK 11 binds the critical entries by default once a native's wrapper is compiled (at once under -Xcomp). */
    public java.util.List<String> jvmOptions() {
        return Runtime.version().feature() < 17 ? java.util.List.of("-XX:-CriticalJNINatives") : java.util.List.of();
    }

    public void run() {
        byte m1 = LookUp.m1Expected((byte) -1);
        byte m2 = LookUp.m2Expected((byte) -1);
        if (m1 != -1 || m2 != -1) {
            throw new AssertionError("result after m1 " + m1 + ", after m2 " + m2 + " (-1 expected)");
        }
    }
}
